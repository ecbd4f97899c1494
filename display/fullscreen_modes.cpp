// The display depths a fullscreen open tries, from the mode code or format and the listed modes.
#include "display/fullscreen_modes.h"

#include <iterator>

#include "display/console.h"

namespace display {
namespace {

// The depths tried for a fuzzy code, before the code itself. 8 bits are left out: frames are
// direct colour and an indexed display would need a palette of them.
struct DepthOrder {
  int32_t mode;
  int32_t depths[3];
};
constexpr DepthOrder kDepthOrders[] = {
    {FUZZY32, {32, 24, 16}},
    {FUZZY16, {16, 32, 24}},
    {FUZZY8, {32, 24, 16}},
};

bool suits(const DisplayMode& m, int32_t mode) {
  const int32_t bits = m.format.bits;
  if (mode == FUZZY32 || mode == FUZZY16)
    return m.format.type == DIRECT && (bits == 32 || bits == 24 || bits == 16);
  if (mode == FUZZY8) return m.format.id == INDEX8;
  return bits == mode;
}

// An empty list means the display could not say: every mode is worth a try.
template <typename Match>
bool listed(const std::vector<DisplayMode>& modes, int32_t width, int32_t height, Match match) {
  if (modes.empty()) return true;
  for (const DisplayMode& m : modes)
    if (m.width == width && m.height == height && match(m)) return true;
  return false;
}

void add_format_trial(std::vector<DepthTrial>& trials, int32_t width, int32_t height,
                      const Format& format, const std::vector<DisplayMode>& modes) {
  if (!valid(format) || format.type == FAKEMODE) return;
  if (listed(modes, width, height, [&](const DisplayMode& m) { return equal(m.format, format); }))
    trials.push_back({format.bits});
}

}  // namespace

std::vector<DepthTrial> fullscreen_trials(int32_t width, int32_t height, int32_t mode,
                                          const std::vector<DisplayMode>& modes) {
  if (mode == DIRECT) mode = FUZZY32;
  if (mode == INDEXED) mode = FUZZY8;
  std::vector<DepthTrial> trials;
  if (listed(modes, width, height, [&](const DisplayMode& m) { return suits(m, mode); })) {
    DepthTrial depths;
    for (const DepthOrder& order : kDepthOrders)
      if (order.mode == mode) depths.assign(std::begin(order.depths), std::end(order.depths));
    depths.push_back(mode);
    trials.push_back(depths);
  }
  // Only a format id builds a format; fuzzy codes and plain depths leave it empty.
  add_format_trial(trials, width, height, Format(mode), modes);
  return trials;
}

std::vector<DepthTrial> fullscreen_trials(int32_t width, int32_t height, const Format& format,
                                          const std::vector<DisplayMode>& modes) {
  std::vector<DepthTrial> trials;
  add_format_trial(trials, width, height, format, modes);
  return trials;
}

}  // namespace display
