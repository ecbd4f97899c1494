// The frame blend pass and the background picture.
#include "render/blend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "display/surface.h"
#include "render/settings.h"
#include "render/texture_images.h"
#include "render/textures.h"

namespace {

using display::Surface;

void Fill(Surface& surface, const std::vector<uint32_t>& pixels) {
  render::LockedPixels locked(surface);
  for (int y = 0; y < surface.height(); ++y)
    for (int x = 0; x < surface.width(); ++x)
      locked.row<uint32_t>(y)[x] = pixels[y * surface.width() + x];
}

std::vector<uint32_t> Read(Surface& surface) {
  render::LockedPixels locked(surface);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < surface.height(); ++y)
    for (int x = 0; x < surface.width(); ++x) pixels.push_back(locked.row<uint32_t>(y)[x]);
  return pixels;
}

// The blend of one pixel, byte by byte as the modes define it.
uint32_t Expected(int32_t mode, uint32_t s, uint32_t f) {
  const bool all_bytes = mode == 1001 || mode == 1002 || mode == 1003;
  uint32_t out = 0;
  for (int b = 0; b < 4; ++b) {
    const uint32_t sb = s >> 8 * b & 0xFF, fb = f >> 8 * b & 0xFF;
    const uint32_t r = all_bytes ? (sb & 0xFE) / 2 + (fb & 0xFE) / 2 : b == 3 ? fb : (sb + fb) >> 1;
    out |= r << 8 * b;
  }
  return out;
}

// How far left each mode moves the second frame.
int32_t ShiftOf(int32_t mode) {
  return mode == 2 || mode == 1002 ? 1 : mode == 3 || mode == 1001 || mode == 1003 ? 2 : 0;
}

TEST(BlendFrames, EachModeMixesWithTheShiftedSecondFrame) {
  std::mt19937 rng(5);
  const display::Format argb(display::ARGB8888);
  struct Layout {
    int width, height, gap, order;
  };
  const Layout layouts[] = {{320, 200, 0, display::TOP_DOWN}, {7, 3, 12, display::TOP_DOWN},
                            {6, 3, 0, display::BOTTOM_UP}, {1, 3, 0, display::TOP_DOWN}};
  for (int32_t mode : {1, 2, 3, 1001, 1002, 1003, 77}) {
    for (const Layout& l : layouts) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << l.width << "x" << l.height
                                      << " gap " << l.gap << " order " << l.order);
      Surface frame(l.width, l.height, argb, -1, l.order, l.gap);
      Surface second(l.width, l.height, argb, -1, l.order, l.gap);
      std::vector<uint32_t> f(l.width * l.height), s(f.size());
      for (uint32_t& p : f) p = rng();
      for (uint32_t& p : s) p = rng();
      Fill(frame, f);
      Fill(second, s);
      render::frameBlendMode = mode;
      ASSERT_TRUE(render::BlendFrames(frame, second));
      const std::vector<uint32_t> out = Read(frame);
      const int shift = ShiftOf(mode);
      const bool pairs = mode >= 1001 && mode <= 1003;
      for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x) {
          const size_t i = size_t(y) * l.width + x;
          // Picture order runs on into the next row; past the end stands the last pixel.
          const uint32_t sp = s[std::min(i + shift, s.size() - 1)];
          const bool left_out = pairs && l.width % 2 == 1 && x == l.width - 1;
          ASSERT_EQ(out[i], left_out ? f[i] : Expected(mode, sp, f[i])) << x << "," << y;
        }
      EXPECT_EQ(Read(second), s);
    }
  }
  render::frameBlendMode = 0;
}

TEST(BlendFrames, RefusesWhatItCannotBlend) {
  const display::Format argb(display::ARGB8888);
  // Mode 0 leaves the frame alone; sizes or pixel sizes that differ are refused untouched.
  Surface frame(8, 2, argb), second(8, 2, argb), lower(8, 1, argb), narrower(4, 2, argb);
  Surface narrow(8, 2, display::Format(display::RGB565));
  Fill(frame, std::vector<uint32_t>(16, 0x01020304));
  render::frameBlendMode = 0;
  EXPECT_TRUE(render::BlendFrames(frame, second));
  render::frameBlendMode = 1002;
  EXPECT_FALSE(render::BlendFrames(frame, lower));
  EXPECT_FALSE(render::BlendFrames(frame, narrower));
  EXPECT_FALSE(render::BlendFrames(frame, narrow));
  EXPECT_FALSE(render::BlendFrames(narrow, frame));
  EXPECT_EQ(Read(frame), std::vector<uint32_t>(16, 0x01020304));
  render::frameBlendMode = 0;
}

TEST(DrawBackground, FillsTheFrameFromThePictureOrWithBlack) {
  constexpr int kWidth = 12, kHeight = 5, kPitchPixels = 16;
  std::vector<uint32_t> picture(kWidth * kHeight);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = 0xA0000000u + uint32_t(i);
  render::screenWidth = kWidth;
  render::screenHeight = kHeight;
  render::framePitch = kPitchPixels * 4;
  for (int enabled : {1, 0}) {
    for (uint32_t* background : {picture.data(), static_cast<uint32_t*>(nullptr)}) {
      std::vector<uint32_t> frame(kPitchPixels * kHeight, 0x55555555);
      render::frameBuffer = frame.data();
      render::backgroundEnabled = enabled;
      render::BackgroundPicPtr = background;
      render::DrawBackground();
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kPitchPixels; ++x) {
          uint32_t expected = 0x55555555;  // disabled, or the row's padding
          if (enabled && x < kWidth) expected = background ? picture[y * kWidth + x] : 0;
          ASSERT_EQ(frame[y * kPitchPixels + x], expected) << enabled << " " << x << "," << y;
        }
    }
  }
  render::BackgroundPicPtr = nullptr;
  render::backgroundEnabled = 0;
  render::frameBuffer = nullptr;
  render::screenWidth = 320, render::screenHeight = 200, render::framePitch = 1280;
}

}  // namespace
