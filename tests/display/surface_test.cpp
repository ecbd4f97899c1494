// Surfaces and palettes: creation checks, row order and pitch, copies with conversion and clipping,
// conversion in place, presentation on a host, palettes and locks.
#include <gtest/gtest.h>

#include <vector>

#include "display/surface.h"
#include "support.h"

namespace display {
namespace {

// A pattern that tells every pixel apart.
void fill(Surface& s) {
  paint(s, [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(y) << 12 | uint32_t(x); });
}

// A console that records what its surfaces ask of it.
class RecordingHost : public SurfaceHost {
 public:
  RecordingHost() : screen(16, 8, Format(RGB565)) {}
  void attach_surface(Surface&) override { ++attached; }
  void detach_surface(Surface&) override { --attached; }
  Surface* primary() override { return &screen; }
  bool present(const Rect& area) override {
    shown.push_back(area);
    return true;
  }
  Surface screen;
  int attached = 0;
  std::vector<Rect> shown;
};

TEST(Surface, CreationChecksAndPitch) {
  const Format argb(ARGB8888);
  EXPECT_FALSE(Surface(0, 10, argb).ok());
  EXPECT_FALSE(Surface(10, 0, argb).ok());
  EXPECT_FALSE(Surface(10, 10, argb, -1, -1, -2).ok());
  EXPECT_FALSE(Surface(10, 10, Format()).ok());
  EXPECT_FALSE(Surface(nullptr, 10, 10, argb).ok());
  EXPECT_FALSE(Surface(10, 10, argb, MEMORY_VIDEO).ok());  // memory cannot be video memory
  EXPECT_FALSE(Surface(10, 10, argb, -1, 22).ok());
  EXPECT_FALSE(Surface(10, 10, argb, -1, -1, -1, 11).ok());
  EXPECT_FALSE(Surface(10, 10, Format(FAKEMODE1A)).ok());  // nothing to allocate

  Surface plain(10, 5, argb);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.pitch(), 40);
  EXPECT_EQ(plain.row_order(), TOP_DOWN);
  EXPECT_EQ(plain.memory_kind(), MEMORY_SYSTEM);
  EXPECT_EQ(plain.layout(), LAYOUT_DEFAULT);
  EXPECT_EQ(get(plain, 9, 4), 0u);

  Surface any(10, 5, Format(RGB888), MEMORY_ANY, BOTTOM_UP, 2);
  ASSERT_TRUE(any.ok());
  EXPECT_EQ(any.memory_kind(), MEMORY_SYSTEM);
  EXPECT_EQ(any.pitch(), -32);  // rows go down from the top row, which a bottom-up store keeps last
}

TEST(Surface, NestedLocksKeepTheAddress) {
  Surface s(4, 4, Format(RGB565));
  void* a = s.lock(1);
  void* b = s.lock(1);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  s.unlock();
  s.unlock();
  s.unlock();  // one too many is harmless
  EXPECT_EQ(s.lock(1), a);
  s.unlock();
  EXPECT_EQ(Surface().lock(1), nullptr);
}

TEST(Surface, CopiesConvertAndKeepPicturesUpright) {
  for (int32_t order : {TOP_DOWN, BOTTOM_UP}) {
    for (int32_t gap : {0, 3}) {
      Surface src(7, 5, Format(ARGB8888), -1, order, gap);
      fill(src);
      Surface same(7, 5, Format(ARGB8888));
      Surface narrow(7, 5, Format(RGB565), -1, BOTTOM_UP);
      ASSERT_TRUE(src.copy(same));
      ASSERT_TRUE(src.copy(narrow));
      for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
          const uint32_t p = get(src, x, y);
          ASSERT_EQ(get(same, x, y), p) << order << " " << gap;
          ASSERT_EQ(get(narrow, x, y),
                    ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
        }
      }
    }
  }
}

TEST(Surface, CopiesClipWithoutScaling) {
  Surface big(256, 256, Format(ARGB8888));
  fill(big);
  Surface small(64, 64, Format(ARGB8888));
  ASSERT_TRUE(big.copy(small));
  EXPECT_EQ(get(small, 63, 63), get(big, 63, 63));
  EXPECT_EQ(get(small, 0, 0), get(big, 0, 0));

  Surface dst(10, 10, Format(ARGB8888));
  EXPECT_TRUE(big.copy(dst, Rect{0, 0, 5, 5}, Rect{20, 20, 25, 25}));  // wholly outside
  EXPECT_TRUE(big.copy(dst, Rect{0, 0, 5, 5}, Rect{-5, 0, -1, 5}));
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(get(dst, x, y), 0u);

  // Partly off the left edge: the visible part shows the source's right part, not its left.
  ASSERT_TRUE(big.copy(dst, Rect{100, 100, 104, 102}, Rect{-2, 3, 2, 5}));
  EXPECT_EQ(get(dst, 0, 3), get(big, 102, 100));
  EXPECT_EQ(get(dst, 1, 4), get(big, 103, 101));
  EXPECT_EQ(get(dst, 2, 3), 0u);

  // Reversed rectangles are normalised; the smaller size wins; the destination clip area holds.
  dst.clip(Rect{2, 2, 6, 6});
  EXPECT_EQ(dst.clip().right, 6);
  ASSERT_TRUE(big.copy(dst, Rect{50, 50, 40, 40}, Rect{0, 0, 8, 3}));
  EXPECT_EQ(get(dst, 2, 2), get(big, 42, 42));
  EXPECT_EQ(get(dst, 5, 2), get(big, 45, 42));
  EXPECT_EQ(get(dst, 6, 2), 0u);
  EXPECT_EQ(get(dst, 2, 3), 0u);

  // A clip area never reaches outside the surface.
  dst.clip(Rect{-5, -5, 50, 50});
  EXPECT_EQ(dst.clip().left, 0);
  EXPECT_EQ(dst.clip().bottom, 10);
  // A smaller source decides the size within the clip area too.
  ASSERT_TRUE(big.copy(dst, Rect{60, 60, 63, 61}, Rect{0, 8, 10, 10}));
  EXPECT_EQ(get(dst, 2, 8), get(big, 62, 60));
  EXPECT_EQ(get(dst, 3, 8), 0u);
  EXPECT_EQ(get(dst, 0, 9), 0u);
}

TEST(Surface, ImpossibleCopiesLeaveTheDestination) {
  Surface src(4, 4, Format(ARGB8888));
  fill(src);
  Surface fake(4, 4, Format(FAKEMODE2A), -1, -1, 4);
  ASSERT_TRUE(fake.ok());
  EXPECT_FALSE(src.copy(fake));
  EXPECT_FALSE(src.copy(fake, Rect{0, 0, 2, 2}, Rect{0, 0, 2, 2}));
  Surface index(4, 4, Format(INDEX8));
  EXPECT_FALSE(src.copy(index));
  EXPECT_EQ(get(index, 3, 3), 0u);
  EXPECT_FALSE(Surface().copy(index));
}

TEST(Surface, ConvertInPlace) {
  Surface s(5, 3, Format(ARGB8888), -1, BOTTOM_UP);
  fill(s);
  const uint32_t corner = get(s, 4, 2);
  EXPECT_TRUE(s.convert(Format(ARGB8888)));
  EXPECT_EQ(get(s, 4, 2), corner);
  EXPECT_FALSE(s.convert(Format(FAKEMODE1A)));
  EXPECT_FALSE(s.convert(Format(INDEX8)));
  EXPECT_EQ(s.format().id, ARGB8888);
  EXPECT_EQ(get(s, 4, 2), corner);

  ASSERT_TRUE(s.convert(Format(RGB888)));
  EXPECT_EQ(s.format().id, RGB888);
  EXPECT_EQ(s.pitch(), -15);
  EXPECT_EQ(get(s, 4, 2), corner & 0xFFFFFF);

  s.link_console(true);
  EXPECT_FALSE(s.convert(Format(ARGB8888)));
}

TEST(Surface, PalettesOfIndexedSurfaces) {
  Surface grey(4, 1, Format(GREY8));
  ASSERT_TRUE(grey.palette());
  EXPECT_EQ(grey.palette()->entries()[0x80], 0x00808080u);
  EXPECT_EQ(grey.palette()->entries()[255], 0x00FFFFFFu);

  Surface argb(4, 1, Format(ARGB8888));
  EXPECT_FALSE(argb.palette());
  EXPECT_FALSE(argb.palette(std::make_shared<Palette>()));

  Surface index(4, 1, Format(INDEX8));
  auto palette = std::make_shared<Palette>();
  uint32_t* e = palette->lock();
  e[1] = 0xFF336699;
  e[2] = 0x0000FF00;
  palette->unlock();
  ASSERT_TRUE(index.palette(palette));
  put(index, 0, 0, 1);
  put(index, 1, 0, 2);
  Surface wide(4, 1, Format(ARGB8888)), narrow(4, 1, Format(RGB565)), grey_out(4, 1, Format(GREY8));
  ASSERT_TRUE(index.copy(wide));
  ASSERT_TRUE(index.copy(narrow));
  ASSERT_TRUE(index.copy(grey_out));
  EXPECT_EQ(get(wide, 0, 0), 0xFF336699u);
  EXPECT_EQ(get(narrow, 0, 0), 0x3333u);
  EXPECT_EQ(get(narrow, 1, 0), 0x07E0u);
  EXPECT_EQ(get(grey_out, 0, 0), 0x65u);

  // A change under the palette's lock reaches the next copy.
  palette->lock()[1] = 0x00FFFFFF;
  palette->unlock();
  ASSERT_TRUE(index.copy(narrow));
  EXPECT_EQ(get(narrow, 0, 0), 0xFFFFu);

  // Grey pixels through the ramp.
  put(grey, 0, 0, 0x40);
  ASSERT_TRUE(grey.copy(wide));
  EXPECT_EQ(get(wide, 0, 0), 0x00404040u);

  // Converting away from an indexed format drops the palette.
  ASSERT_TRUE(index.convert(Format(ARGB8888)));
  EXPECT_EQ(get(index, 0, 0), 0x00FFFFFFu);
  EXPECT_FALSE(index.palette());
}

TEST(Surface, UpdatePresentsOnTheHost) {
  Surface alone(4, 4, Format(ARGB8888));
  EXPECT_FALSE(alone.update());

  RecordingHost host;
  {
    Surface frame(&host, 16, 8, Format(ARGB8888));
    ASSERT_TRUE(frame.ok());
    EXPECT_EQ(host.attached, 1);
    fill(frame);
    ASSERT_TRUE(frame.update(Rect{2, 1, 6, 3}));
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].left, 2);
    EXPECT_EQ(get(host.screen, 2, 1), 0x0080u);  // 0xFF001002
    EXPECT_EQ(get(host.screen, 1, 1), 0u);
    EXPECT_EQ(get(host.screen, 6, 1), 0u);
    ASSERT_TRUE(frame.update());
    EXPECT_EQ(get(host.screen, 15, 7), 0x0381u);  // 0xFF00700F
    ASSERT_TRUE(frame.convert(Format(RGB565)));
    EXPECT_EQ(host.attached, 1);
  }
  EXPECT_EQ(host.attached, 0);
}

}  // namespace
}  // namespace display
