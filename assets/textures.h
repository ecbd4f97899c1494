// The scenes' textures, drawn in code: 256 x 256 pictures in 32-bit true colour (flat and phong
// materials) or 8-bit colour-mapped (gouraud materials, transparency maps), and the flare sprite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

struct Texture {
  std::string member;  // archive member name; the scenes name it under "Textures\" or "Flares\"
  int width = 256;
  int height = 256;
  bool indexed = false;
  std::vector<uint32_t> pixels;   // 0x00RRGGBB, top row first; true colour only
  std::vector<uint8_t> indices;   // top row first; colour-mapped only
  std::vector<uint32_t> palette;  // 256 entries 0x00RRGGBB; colour-mapped only
};

std::vector<Texture> make_textures();

// Uncompressed TGA, bottom row first: type 2 with 32 bits per pixel, or type 1 with a 256-entry
// 24-bit colour map.
std::vector<uint8_t> encode_texture(const Texture& texture);

}  // namespace assets
