// Resampling, tiling and shade tables: the pixel work behind texture preparation.
#include "render/texture_images.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "render/raster.h"
#include "render/settings.h"
#include "render/textures.h"

namespace render {
namespace {

using display::Surface;
using SurfacePtr = std::unique_ptr<Surface>;

constexpr int32_t kShadeBaseLevel = 31;  // the palette colour itself
constexpr float kOneThirtyFirst = 0.032258064f;
static_assert(kShadeTableOffset + kShadeTableEntries * kShadeLevels * 4 <= kSlotBytes,
              "indices and shade table must fit one slot");
static_assert(kTextureSize * kTextureSize * 4 == kSlotBytes, "a 32-bit texture fills one slot");

// Per channel value 0 ... 255 to the tinted value at its place in a 0x00RRGGBB colour: the ambient
// multiplier rounded, or the identity without ambientTint. Channels brighter than 255 saturate.
struct Tint {
  uint32_t red[256], green[256], blue[256];
  Tint() {
    const bool on = ambientTint != 0;
    for (int32_t c = 0; c < 256; ++c) {
      red[c] = Scaled(c, on ? ambientColour.red : 1.0f) << 16;
      green[c] = Scaled(c, on ? ambientColour.green : 1.0f) << 8;
      blue[c] = Scaled(c, on ? ambientColour.blue : 1.0f);
    }
  }
  uint32_t operator()(uint32_t colour) const {
    return red[colour >> 16 & 0xFF] | green[colour >> 8 & 0xFF] | blue[colour & 0xFF];
  }

 private:
  static uint32_t Scaled(int32_t c, float multiplier) {
    const float value = static_cast<float>(c) * multiplier;
    if (!(value > 0.0f)) return 0;
    return static_cast<uint32_t>(std::min(std::lround(value), 255L));
  }
};

// Source position of each of `size` new pixels along one axis: nearest neighbour with a 22.10
// source step of round(old / new x 1024) from 0. The rounded step can overshoot the last source
// pixel on large enlargements, so positions are held to it.
std::vector<int32_t> SourcePositions(int32_t old_size, int32_t size) {
  const long step = std::lround(static_cast<float>(old_size) / static_cast<float>(size) * 1024.0f);
  std::vector<int32_t> positions(static_cast<size_t>(size));
  for (int32_t i = 0; i < size; ++i)
    positions[i] = static_cast<int32_t>(std::min<int64_t>((int64_t{i} * step) >> 10, old_size - 1));
  return positions;
}

// Every pixel of the new surface is looked up directly: the same result as resampling the rows
// first and the columns after.
template <typename Pixel>
SurfacePtr Resample(SurfacePtr source, int32_t width, int32_t height) {
  if (width < 1 || height < 1) return nullptr;
  auto result = std::make_unique<Surface>(width, height, source->format());
  if (!result->ok()) return nullptr;
  if (source->palette()) result->palette(source->palette());
  LockedPixels from(*source), to(*result);
  if (!from.ok() || !to.ok()) return nullptr;
  const std::vector<int32_t> columns = SourcePositions(source->width(), width);
  const std::vector<int32_t> rows = SourcePositions(source->height(), height);
  for (int32_t y = 0; y < height; ++y) {
    const Pixel* in = from.row<Pixel>(rows[y]);
    Pixel* out = to.row<Pixel>(y);
    for (int32_t x = 0; x < width; ++x) out[x] = in[columns[x]];
  }
  return result;
}

bool IsArgb(const Surface& surface) {
  return surface.ok() && display::equal(surface.format(), display::Format(display::ARGB8888));
}

}  // namespace

bool IsIndexed(const Surface& surface) {
  return surface.ok() && surface.format().type == display::INDEXED && surface.format().bytes == 1;
}

SurfacePtr ResizeImage(SurfacePtr surface, int32_t width, int32_t height) {
  if (!surface || !IsArgb(*surface)) return nullptr;
  return Resample<uint32_t>(std::move(surface), width, height);
}

SurfacePtr ResizeIndexedImage(SurfacePtr surface, int32_t width, int32_t height) {
  if (!surface || !IsIndexed(*surface)) return nullptr;
  return Resample<uint8_t>(std::move(surface), width, height);
}

bool TileCopy(Surface& surface, uint8_t* slot) {
  if (!IsArgb(surface) || surface.width() > kTextureSize || surface.height() > kTextureSize)
    return false;
  LockedPixels pixels(surface);
  if (!pixels.ok()) return false;
  const Tint tint;
  uint32_t* texels = reinterpret_cast<uint32_t*>(slot);
  for (int32_t v = 0; v < surface.height(); ++v) {
    const uint32_t* row = pixels.row<uint32_t>(v);
    for (int32_t u = 0; u < surface.width(); ++u)
      texels[effects::tiled_texel_index(u, v)] = (row[u] & 0xFF000000) | tint(row[u]);
  }
  return true;
}

bool WriteShadedTexture(Surface& image, uint8_t* slot) {
  const auto palette = image.palette();
  if (!IsIndexed(image) || !palette || image.width() != kTextureSize ||
      image.height() != kTextureSize)
    return false;
  LockedPixels pixels(image);
  if (!pixels.ok()) return false;
  for (int32_t v = 0; v < kTextureSize; ++v)
    std::memcpy(slot + v * kTextureSize, pixels.row<uint8_t>(v), kTextureSize);

  // Levels darken linearly to black below the colour and brighten linearly towards white above it.
  const Tint tint;
  uint32_t* table = reinterpret_cast<uint32_t*>(slot + kShadeTableOffset);
  for (int32_t i = 0; i < kShadeTableEntries; ++i) {
    const uint32_t colour = tint(palette->entries()[i]);
    const int32_t channels[3] = {static_cast<int32_t>(colour >> 16 & 0xFF),
                                 static_cast<int32_t>(colour >> 8 & 0xFF),
                                 static_cast<int32_t>(colour & 0xFF)};
    for (int32_t level = 0; level < kShadeLevels; ++level) {
      uint32_t shaded = 0;
      for (int32_t c : channels) {
        long value = c;
        if (level < kShadeBaseLevel)
          value = std::lround(static_cast<float>(c * level) * kOneThirtyFirst);
        else if (level > kShadeBaseLevel)
          value = std::lround(static_cast<float>(c) +
                              static_cast<float>((255 - c) * (level - 32)) / 32.0f);
        shaded = shaded << 8 | static_cast<uint32_t>(value);
      }
      table[i * kShadeLevels + level] = shaded;
    }
  }
  return true;
}

bool SetTopBytes(Surface& image, Surface& map) {
  if (!IsArgb(image) || !IsIndexed(map) || image.width() != map.width() ||
      image.height() != map.height())
    return false;
  LockedPixels pixels(image), bytes(map);
  if (!pixels.ok() || !bytes.ok()) return false;
  for (int32_t y = 0; y < image.height(); ++y) {
    uint32_t* row = pixels.row<uint32_t>(y);
    const uint8_t* alpha = bytes.row<uint8_t>(y);
    for (int32_t x = 0; x < image.width(); ++x)
      row[x] = (row[x] & 0x00FFFFFF) | static_cast<uint32_t>(alpha[x]) << 24;
  }
  return true;
}

}  // namespace render
