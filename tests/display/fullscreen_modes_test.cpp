// The display depths a fullscreen (DirectDraw) open tries for each mode code or format, against
// the modes a display lists.
#include "display/fullscreen_modes.h"

#include <gtest/gtest.h>

#include "display/console.h"

namespace display {
namespace {

using Trials = std::vector<DepthTrial>;

TEST(FullscreenModes, TheModeCodeFirstThenTheFormatItNames) {
  const std::vector<DisplayMode> none;
  const std::vector<DisplayMode> listed = {{320, 200, Format(ARGB8888)}, {320, 200, Format(RGB565)},
                                           {640, 480, Format(INDEX8)},   {640, 480, Format(RGB888)}};
  const struct {
    int32_t width, height, mode;
    const std::vector<DisplayMode>& modes;
    Trials trials;
  } cases[] = {
      {320, 200, FUZZY32, listed, {{32, 24, 16, FUZZY32}}},
      {320, 200, DIRECT, listed, {{32, 24, 16, FUZZY32}}},
      {320, 200, FUZZY16, listed, {{16, 32, 24, FUZZY16}}},
      {640, 480, INDEXED, listed, {{32, 24, 16, FUZZY8}}},
      {320, 200, FUZZY8, listed, {}},  // no 320 x 200 INDEX8 mode
      {320, 200, 16, listed, {{16}}},  // a plain depth
      {320, 200, 24, listed, {}},
      // A format id: no mode has that bit depth, but one has that format.
      {320, 200, ARGB8888, listed, {{32}}},
      {320, 200, RGB565, listed, {{16}}},
      {640, 480, RGB888, listed, {{24}}},
      {320, 200, RGB888, listed, {}},
      {320, 200, ABGR8888, listed, {}},
      {320, 200, FAKEMODE1A, none, {{FAKEMODE1A}}},  // fake modes name no display format
      // A display that lists nothing: every trial is worth making.
      {320, 200, ARGB8888, none, {{ARGB8888}, {32}}},
      {320, 200, FUZZY32, none, {{32, 24, 16, FUZZY32}}},
      {800, 600, FUZZY32, listed, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(fullscreen_trials(c.width, c.height, c.mode, c.modes), c.trials)
        << c.width << "x" << c.height << " mode " << c.mode;

  EXPECT_EQ(fullscreen_trials(320, 200, Format(RGB565), listed), Trials{{16}});
  EXPECT_EQ(fullscreen_trials(320, 200, Format(ARGB1555), listed), Trials{});
  EXPECT_EQ(fullscreen_trials(320, 200, Format(ARGB1555), none), Trials{{16}});
  EXPECT_EQ(fullscreen_trials(320, 200, Format(), none), Trials{});
}

}  // namespace
}  // namespace display
