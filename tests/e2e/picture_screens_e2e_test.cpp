// The picture screens end to end: headless runs of the host program on the virtual clock, judged by
// the phases in the timeline trace and by the captured frames.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/writer.h"
#include "child.h"
#include "display/surface.h"

namespace {

using e2e::ChildResult;
using e2e::Event;
using e2e::read_trace;
using e2e::run_headless;
using e2e::TempDir;

const std::string kDataDir = std::string(VEK_BINARY_DIR) + "/data";

constexpr unsigned kFrameMs = 50;
// One row of the module lasts 5 x 2.5 / 116 s; the music starts with the run.
constexpr double kRowMs = 5 * 2.5 / 116 * 1000;
double music_ms(int order, int row) { return (order * 64 + row) * kRowMs; }

// ---- Trace -------------------------------------------------------------------------------------

// A screen phase: "NAME start" and "NAME end FRAMES".
struct Phase {
  std::string name;
  unsigned start_ms = 0, end_ms = 0, end_position = 0;
  int frames = -1;
};

const char* const kPhaseNames[] = {"logo hold",        "logo fade-out", "present hold",
                                   "present fade-out", "xmaslogo hold", "to black",
                                   "final fade"};

std::vector<Phase> phases_of(const std::vector<Event>& events) {
  std::vector<Phase> phases;
  for (const Event& e : events)
    for (const char* name : kPhaseNames) {
      const std::string n = name;
      if (e.name == n + " start") {
        phases.push_back({n, e.ms, 0, 0, -1});
      } else if (e.name.rfind(n + " end ", 0) == 0) {
        EXPECT_TRUE(!phases.empty() && phases.back().name == n && phases.back().frames < 0)
            << e.name;
        if (phases.empty()) continue;
        phases.back().end_ms = e.ms;
        phases.back().end_position = e.position;
        phases.back().frames = std::stoi(e.name.substr(n.size() + 5));
      }
    }
  return phases;
}

std::vector<std::string> names_of(const std::vector<Phase>& phases) {
  std::vector<std::string> names;
  for (const Phase& p : phases) names.push_back(p.name);
  return names;
}

const Phase& phase(const std::vector<Phase>& phases, const std::string& name) {
  for (const Phase& p : phases)
    if (p.name == name) return p;
  static const Phase none;
  ADD_FAILURE() << "no phase " << name;
  return none;
}

bool has_event(const std::vector<Event>& events, const std::string& name) {
  return std::any_of(events.begin(), events.end(), [&](const Event& e) { return e.name == name; });
}

// ---- Pictures and frames -----------------------------------------------------------------------

// 0x00RRGGBB pixels, rows top first.
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Image read_png(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  Image image;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << "cannot read " << path;
    return image;
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << "cannot decode " << path;
    return image;
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    image.pixels.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
  return image;
}

// A picture as the screens use it: ARGB8888, top row first.
Image load_picture(const char* member) {
  archive::DataArchive vek((kDataDir + "/vek.bin").c_str());
  display::Surface s(nullptr, vek, member, 30);
  Image image;
  if (!s.ok() || !s.convert(display::Format(display::ARGB8888))) {
    ADD_FAILURE() << "cannot load " << member;
    return image;
  }
  image.width = s.width();
  image.height = s.height();
  const auto* base = static_cast<const uint8_t*>(s.lock());
  for (int y = 0; y < s.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(base + y * s.pitch());
    image.pixels.insert(image.pixels.end(), row, row + s.width());
  }
  s.unlock();
  return image;
}

// The capture's frame times, frame n at index n.
std::vector<unsigned> frame_times(const std::string& dir) {
  std::vector<unsigned> times;
  std::istringstream lines(e2e::read_file(dir + "/frames.txt"));
  for (unsigned n = 0, ms = 0; lines >> n >> ms;) {
    EXPECT_EQ(n, times.size());
    times.push_back(ms);
  }
  return times;
}

std::string frame_file(const std::string& dir, size_t n) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%05zu.png", n);
  return dir + name;
}

// The first captured frame of a phase.
size_t first_frame(const std::vector<unsigned>& times, const Phase& p) {
  return std::lower_bound(times.begin(), times.end(), p.start_ms) - times.begin();
}

uint32_t channel(uint32_t p, int shift) { return p >> shift & 0xFF; }

// Per colour channel: f(channel of a, channel of b).
template <class F>
uint32_t per_channel(uint32_t a, uint32_t b, F f) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8)
    out |= (f(channel(a, shift), channel(b, shift)) & 0xFF) << shift;
  return out;
}

// What frame k of a keyed cross-fade shows where the picture is not keyed: every channel
// min(B wB + P wP, 65535) >> 8, with the weights 255 - 4 i of the cross-fade table.
uint32_t crossfade(uint32_t background, uint32_t picture, int background_index, int picture_index) {
  const uint32_t wb = 255 - 4 * background_index, wp = 255 - 4 * picture_index;
  return per_channel(background, picture, [&](uint32_t b, uint32_t p) {
    return std::min(b * wb + p * wp, 65535u) >> 8;
  });
}

// Compares the picture's rectangle at (x, y) of a frame with the expected pixel for every picture
// pixel that is presented (the two-picture screen presents only 317 x 197 from the top left);
// reports the first difference only.
template <class Expect>
void expect_picture(const Image& frame, const Image& picture, int x, int y, const std::string& what,
                    Expect expect, int presented_width = 320, int presented_height = 200) {
  for (int py = 0; py < std::min(picture.height, presented_height - y); ++py)
    for (int px = 0; px < std::min(picture.width, presented_width - x); ++px) {
      const uint32_t want = expect(picture.at(px, py), px, py) & 0xFFFFFF;
      const uint32_t got = frame.at(x + px, y + py);
      if (got != want) {
        ADD_FAILURE() << what << ": pixel " << px << "," << py << " is " << std::hex << got
                      << ", expected " << want;
        return;
      }
    }
}

bool black_rows(const Image& frame, int first, int count) {
  for (int y = first; y < first + count; ++y)
    for (int x = 0; x < frame.width; ++x)
      if (frame.at(x, y) != 0) return false;
  return true;
}

constexpr uint32_t kKey = 0x00FF00FF;

// ---- Tests -------------------------------------------------------------------------------------

TEST(PictureScreens, WholeRunPhasesAndFrames) {
  TempDir scratch("pictures");
  const std::string capture = scratch.file("capture");
  ChildResult run = run_headless(kDataDir, scratch.file("trace"), {"--capture", capture});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<Phase> phases = phases_of(read_trace(scratch.file("trace")));
  ASSERT_EQ(names_of(phases),
            std::vector<std::string>(std::begin(kPhaseNames), std::end(kPhaseNames)));
  const std::vector<unsigned> times = frame_times(capture);

  // Frame counts: the fixed ones, and the holds ending on the first frame that starts at or past
  // their music position. Each phase's frames are captured 50 ms apart inside it.
  const std::map<std::string, int> fixed = {
      {"logo fade-out", 36}, {"present fade-out", 64}, {"to black", 36}, {"final fade", 36}};
  struct Hold {
    const char* name;
    unsigned position;
    double ms;
  };
  const Hold holds[] = {{"logo hold", 0x10028, music_ms(1, 40)},
                        {"present hold", 0x60000, music_ms(6, 0)},
                        {"xmaslogo hold", 0x70010, music_ms(7, 16)}};
  for (const Phase& p : phases) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(p.end_ms - p.start_ms, p.frames * kFrameMs);
    const size_t first = first_frame(times, p);
    size_t captured = 0;
    for (size_t n = first; n < times.size() && times[n] < p.end_ms; ++n, ++captured)
      EXPECT_EQ(times[n], p.start_ms + captured * kFrameMs);
    EXPECT_EQ(captured, static_cast<size_t>(p.frames));
    if (fixed.count(p.name)) {
      EXPECT_EQ(p.frames, fixed.at(p.name));
    }
  }
  for (const Hold& h : holds) {
    SCOPED_TRACE(h.name);
    const Phase& p = phase(phases, h.name);
    EXPECT_GE(p.end_position, h.position);
    EXPECT_GE(p.end_ms, h.ms);
    // The last frame started before the row began; (7, 16) falls on a whole millisecond, and the
    // player reports a row once its first tick has been rendered, so allow that millisecond.
    EXPECT_LE(p.end_ms - kFrameMs, h.ms + 1);
  }

  // The logo comes up by levels 252, 248, ... 0 on black, holds, then each surface loses 15 every
  // second frame.
  const Image logo = load_picture("tex\\vek.tga");
  const size_t logo_first = first_frame(times, phase(phases, "logo hold"));
  for (int k : {0, 1, 32, 63, 64, phase(phases, "logo hold").frames - 1}) {
    const Image frame = read_png(frame_file(capture, logo_first + k));
    const uint32_t level = k < 64 ? 252 - 4 * k : 0;
    expect_picture(
        frame, logo, 0, 50, "logo frame " + std::to_string(k), [&](uint32_t p, int, int) {
          return per_channel(p, 0, [&](uint32_t c, uint32_t) { return c > level ? c - level : 0; });
        });
    EXPECT_TRUE(black_rows(frame, 0, 50) && black_rows(frame, 129, 71)) << "logo frame " << k;
  }
  const size_t out_first = first_frame(times, phase(phases, "logo fade-out"));
  for (int j : {0, 1, 2, 20, 34, 35}) {
    const Image frame = read_png(frame_file(capture, out_first + j));
    const uint32_t darker = 15 * (j / 2 + 1);
    expect_picture(frame, logo, 0, 50, "logo fade-out " + std::to_string(j),
                   [&](uint32_t p, int, int) {
                     return per_channel(
                         p, 0, [&](uint32_t c, uint32_t) { return c > darker ? c - darker : 0; });
                   });
  }

  // The two-picture screen over the frame the first scene left.
  const size_t present_first = first_frame(times, phase(phases, "present hold"));
  const Image background = read_png(frame_file(capture, present_first - 2));
  const Image present = load_picture("tex\\present.tga");
  const Image festive = load_picture("tex\\xmaslogo.tga");
  struct Check {
    const char* phase;
    int k;
    const Image& picture;
    int x, y;
    int background_index, picture_index;  // -1: a keyed copy
  };
  const int present_held = phase(phases, "present hold").frames - 1;
  const int festive_held = phase(phases, "xmaslogo hold").frames - 1;
  // A hold fades its picture in over its first 64 frames, then copies it keyed. The first scene
  // ends early enough for the present picture to come up fully and stand a moment (at least 5
  // frames) before the music ends its hold.
  EXPECT_GE(present_held, 63 + 5);
  auto hold = [](const char* phase, int k, const Image& picture, int x, int y) {
    return Check{phase, k, picture, x, y, k < 64 ? k : -1, k < 64 ? 63 - k : -1};
  };
  std::vector<Check> checks = {{"present fade-out", 0, present, 110, 50, 63, 0},
                               {"present fade-out", 63, present, 110, 50, 0, 63}};
  for (int k : {0, 40, 63, present_held}) checks.push_back(hold("present hold", k, present, 110, 50));
  for (int k : {0, 63, festive_held}) checks.push_back(hold("xmaslogo hold", k, festive, 0, 30));
  for (const Check& c : checks) {
    const std::string what = std::string(c.phase) + " frame " + std::to_string(c.k);
    const Image frame =
        read_png(frame_file(capture, first_frame(times, phase(phases, c.phase)) + c.k));
    expect_picture(
        frame, c.picture, c.x, c.y, what,
        [&](uint32_t p, int px, int py) {
          const uint32_t b = background.at(c.x + px, c.y + py);
          if (p == kKey) return b;
          return c.background_index < 0 ? p : crossfade(b, p, c.background_index, c.picture_index);
        },
        317, 197);
  }

  // From the two-picture screen on, only the area 317 x 197 is presented: the 3 columns and rows
  // beyond it stay as the logo screen left them. Both surfaces are black after each fade.
  const Image before = read_png(frame_file(capture, present_first - 1));
  for (size_t n = present_first; n < times.size(); n += 7) {
    const Image frame = read_png(frame_file(capture, n));
    for (int y = 0; y < 200; ++y)
      for (int x = y < 197 ? 317 : 0; x < 320; ++x)
        ASSERT_EQ(frame.at(x, y), before.at(x, y)) << "frame " << n << " at " << x << "," << y;
  }
  for (const char* fade : {"to black", "final fade"}) {
    const size_t last = first_frame(times, phase(phases, fade)) + 35;
    for (size_t n : {last - 1, last})
      EXPECT_TRUE(black_rows(read_png(frame_file(capture, n)), 0, 197)) << fade << " frame " << n;
  }
}

TEST(PictureScreens, KeyDuringTheLogoFadeInGoesStraightToTheFinalFade) {
  TempDir scratch("logo-key");
  const std::string capture = scratch.file("capture");
  ChildResult run =
      run_headless(kDataDir, scratch.file("trace"), {"--keys", "1000:27", "--capture", capture});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<Event> events = read_trace(scratch.file("trace"));
  const std::vector<Phase> phases = phases_of(events);
  // Everything between the logo and the final fade is skipped; the music still fades at the end.
  ASSERT_EQ(names_of(phases), (std::vector<std::string>{"logo hold", "final fade"}));
  EXPECT_FALSE(has_event(events, "T2 start"));
  EXPECT_EQ(events.back().name, "fade end");
  // The frame starting at 1000 ms sees the key and is the last one.
  EXPECT_EQ(phases[0].frames, 21);
  EXPECT_EQ(phases[1].frames, 36);
  const std::vector<unsigned> times = frame_times(capture);
  ASSERT_EQ(times.size(), 21u + 36u);
  // The final fade starts from the half-faded logo and ends black.
  EXPECT_FALSE(black_rows(read_png(frame_file(capture, 21)), 50, 79));
  EXPECT_TRUE(black_rows(read_png(frame_file(capture, 56)), 0, 200));
}

TEST(PictureScreens, KeyDuringEachPhaseOfTheTwoPictureScreenEndsItAfterThatFrame) {
  // The phases' times from a run without keys; each key then falls 10 ms after a frame's start in
  // the middle of its phase, wherever the first scene leaves the screen to start.
  TempDir baseline("picture-phases");
  ASSERT_EQ(run_headless(kDataDir, baseline.file("trace")).status, 0);
  const std::vector<Phase> unkeyed = phases_of(read_trace(baseline.file("trace")));
  for (const char* name : {"present hold", "present fade-out", "xmaslogo hold", "to black"}) {
    SCOPED_TRACE(name);
    const Phase& p = phase(unkeyed, name);
    ASSERT_GT(p.frames, 2);
    const unsigned key_ms = p.start_ms + p.frames / 2 * kFrameMs + 10;
    TempDir scratch("picture-key");
    ChildResult run =
        run_headless(kDataDir, scratch.file("trace"), {"--keys", std::to_string(key_ms) + ":32"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Event> events = read_trace(scratch.file("trace"));
    const std::vector<Phase> phases = phases_of(events);
    ASSERT_GE(phases.size(), 2u);
    const Phase& stopped = phases[phases.size() - 2];
    EXPECT_EQ(stopped.name, name);
    // Ended after the first frame that started at or after the key.
    EXPECT_EQ(stopped.end_ms, key_ms - 10 + 2 * kFrameMs);
    EXPECT_EQ(phases.back().name, "final fade");
    EXPECT_EQ(phases.back().frames, 36);
    EXPECT_FALSE(has_event(events, "T5 start"));
  }
}

// Copies the generated archive with one picture left out, or cut to another size.
void write_variant(const std::string& path, const std::string& member, int width, int height) {
  archive::DataArchive vek((kDataDir + "/vek.bin").c_str());
  ASSERT_TRUE(vek.ok());
  std::vector<archive::MemberFile> members;
  for (const archive::ArchiveEntry* e = vek.first_entry(); e; e = e->next) {
    archive::MemberFile m{e->name, std::vector<uint8_t>(e->size)};
    ASSERT_EQ(vek.read_entry(*e, m.bytes.data(), e->size), static_cast<int32_t>(e->size));
    if (m.name == member) {
      if (width == 0) continue;
      // Still a valid 32-bit TGA, just not of the size the screen draws.
      m.bytes[12] = static_cast<uint8_t>(width);
      m.bytes[13] = static_cast<uint8_t>(width >> 8);
      m.bytes[14] = static_cast<uint8_t>(height);
      m.bytes[15] = static_cast<uint8_t>(height >> 8);
      m.bytes.resize(18 + static_cast<size_t>(width) * height * 4);
    }
    members.push_back(std::move(m));
  }
  ASSERT_EQ(archive::write_archive(path, members), "");
}

TEST(PictureScreens, MissingOrMisSizedPicturesAreRefusedAndTheRunGoesOn) {
  struct Case {
    const char* member;
    int width, height;  // 0: left out
    const char* screen;
  };
  for (const Case& c : {Case{"vek.tga", 0, 0, "T1"}, Case{"vek.tga", 320, 78, "T1"},
                        Case{"present.tga", 0, 0, "T4"}, Case{"present.tga", 84, 22, "T4"},
                        Case{"xmaslogo.tga", 320, 135, "T4"}}) {
    SCOPED_TRACE(std::string(c.member) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    TempDir dir("picture-refused");
    write_variant(dir.file("vek.bin"), c.member, c.width, c.height);
    ChildResult run = run_headless(dir.path(), dir.file("trace"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("can't read image!"), std::string::npos) << run.err;
    const std::vector<Event> events = read_trace(dir.file("trace"));
    const std::vector<Phase> phases = phases_of(events);
    const std::vector<std::string> expected =
        c.screen == std::string("T1")
            ? std::vector<std::string>{"final fade"}
            : std::vector<std::string>{"logo hold", "logo fade-out", "final fade"};
    EXPECT_EQ(names_of(phases), expected);
    EXPECT_TRUE(has_event(events, std::string(c.screen) + " end"));
    EXPECT_FALSE(has_event(events, "T5 start"));
  }
}

}  // namespace
