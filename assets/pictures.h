// The intro's three pictures: the group's logo, the word "presents" and the festive logo, drawn
// in code and written as TGA members of "vek.bin".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

// Pixels that must not show: magenta with alpha 0, exactly.
constexpr uint32_t kColourKey = 0x00FF00FF;

struct Picture {
  std::string member;  // archive member name
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // ARGB8888, top row first
};

// Empty when a font cannot be read (after saying so on standard error).
std::vector<Picture> make_pictures();
// An uncompressed 32-bit true-colour TGA, bottom row first.
std::vector<uint8_t> encode_tga(const Picture& picture);

}  // namespace assets
