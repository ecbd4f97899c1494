// The console handle and the headless back end: factory order, open checks, scripted keys on the
// virtual clock, frame capture to PNG, and the error box without a window.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "display/console.h"
#include "display/format.h"
#include "display/headless/headless_console.h"
#include "display/palette.h"
#include "display/surface.h"
#include "platform/platform.h"
#include "support.h"

namespace display {
namespace {

// Every test starts from a fresh virtual clock with no display and no console settings.
class HeadlessConsoleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "VEK_CAPTURE", "VEK_KEYS", "VEK_FULLSCREEN"})
      unsetenv(name);
    setenv("VEK_CONSOLE", "headless", 1);
    platform::clock_reset();
  }
};

std::vector<uint32_t> read_png(const std::string& path, uint32_t& width, uint32_t& height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> pixels;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return pixels;
  image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
  pixels.resize(static_cast<size_t>(image.width) * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) pixels.clear();
  width = image.width;
  height = image.height;
  png_image_free(&image);
  return pixels;
}

TEST_F(HeadlessConsoleTest, FactoryOrderAndOpenChecks) {
  Console console;
  EXPECT_FALSE(console.ok());
  EXPECT_FALSE(console.key());

  // Without VEK_CONSOLE=headless and without a display nothing can open.
  unsetenv("VEK_CONSOLE");
  EXPECT_FALSE(console.open(320, 200, FUZZY32));
  EXPECT_FALSE(console.ok());
  EXPECT_STREQ(console.name(), "");

  setenv("VEK_CONSOLE", "headless", 1);
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  EXPECT_STREQ(console.name(), "headless");
  ASSERT_NE(console.primary(), nullptr);
  EXPECT_EQ(console.primary()->format().id, ARGB8888);
  EXPECT_EQ(console.width(), 320);
  EXPECT_EQ(console.height(), 200);
  const ConsoleMode mode = console.impl().current_mode();
  EXPECT_STREQ(mode.name, "headless");
  EXPECT_TRUE(mode.width == 320 && mode.format.id == ARGB8888);
  EXPECT_FALSE(console.title("KARST 3DEngine v2"));  // stored, but there is no window to show it
  EXPECT_EQ(console.impl().get_title(), "KARST 3DEngine v2");

  struct Case {
    const char* mode;
    int32_t output, frequency, layout;
    int32_t format;  // of the primary, 0 when the open must fail
  } cases[] = {
      {"virtual32", -1, -1, -1, ARGB8888},      {"Fuzzy16", -1, -1, -1, RGB565},
      {"INDEXED", -1, -1, -1, INDEX8},          {"direct", 41, 0, 10, ARGB8888},
      {"rgb888", -1, -1, -1, RGB888},           {"GRAY8", -1, -1, -1, GREY8},
      {"FAKEMODE", -1, -1, -1, 0},              {"FAKEMODE2B", -1, -1, -1, 0},
      {"nonsense", -1, -1, -1, 0},              {"FUZZY32", -1, 60, -1, 0},
      {"FUZZY32", -1, -1, 11, 0},               {"FUZZY32", 42, -1, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(console.open(320, 200, c.mode, c.output, c.frequency, c.layout), c.format != 0);
    EXPECT_EQ(console.ok(), c.format != 0);
    if (c.format) {
      EXPECT_EQ(console.primary()->format().id, c.format);
    }
  }
  EXPECT_FALSE(console.open(0, 200, FUZZY32));
  EXPECT_TRUE(console.open(320, 200, Format(ABGR8888)));
  EXPECT_TRUE(console.open(320, 200, 16));
  EXPECT_EQ(console.primary()->format().id, RGB565);

  // A named open tries exactly that back end, whatever VEK_CONSOLE says.
  unsetenv("VEK_CONSOLE");
  EXPECT_TRUE(console.open("HEADLESS", 64, 48, "FUZZY32"));
  EXPECT_FALSE(console.open("placeholder", 64, 48, "FUZZY32"));
  EXPECT_FALSE(console.open("nobody", 64, 48, FUZZY32));
  console.close();
  EXPECT_FALSE(console.ok());
  EXPECT_EQ(console.primary(), nullptr);
}

TEST_F(HeadlessConsoleTest, ScriptedKeysArriveAtTheirClockTimes) {
  // Entries that do not parse are skipped; keys of one time keep their order.
  setenv("VEK_KEYS", "50:65,20:0x1B,,bad,5:,x:1,200:256,50:b,400:32", 1);
  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));

  EXPECT_FALSE(console.key());
  platform::sleep_ms(19);
  EXPECT_FALSE(console.key());
  platform::sleep_ms(1);
  EXPECT_TRUE(console.key());
  EXPECT_TRUE(console.key());  // asking does not take the key
  EXPECT_EQ(console.read(), vk::ESCAPE);
  EXPECT_FALSE(console.key());

  platform::wait_until(60);
  EXPECT_TRUE(console.key());
  EXPECT_EQ(console.read(), 'A');
  EXPECT_EQ(console.read(), 'B');
  EXPECT_FALSE(console.key());

  // read() waits for the next key on the clock; after the last one it does not wait at all.
  EXPECT_EQ(console.read(), vk::SPACE);
  EXPECT_EQ(platform::clock_ms(), 400u);
  EXPECT_EQ(console.read(), 0);
  EXPECT_EQ(platform::clock_ms(), 400u);
}

TEST_F(HeadlessConsoleTest, CapturedFramesDecodeToThePresentedSurface) {
  std::string folder = testing::TempDir() + "vek_capture_" + std::to_string(getpid());
  std::filesystem::remove_all(folder);
  setenv("VEK_CAPTURE", folder.c_str(), 1);

  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  Surface frame(&console.impl(), 320, 200, Format(ARGB8888), 30, -1, -1, -1);
  ASSERT_TRUE(frame.ok());

  std::vector<std::vector<uint32_t>> shown;
  for (uint32_t seed : {0u, 101u}) {
    // Every channel varies, so swapped channels or rows show.
    paint(frame, [seed](int32_t x, int32_t y) {
      return 0xFF000000u | ((x * 7 + seed) & 0xFF) << 16 | ((y * 13 + seed) & 0xFF) << 8 |
             ((x ^ y) & 0xFF);
    });
    platform::sleep_ms(30);
    ASSERT_TRUE(frame.update());
    const std::vector<uint32_t> pixels = pixels_of(frame);
    shown.push_back(pixels);
    EXPECT_EQ(headless::last_frame().pixels, pixels);
  }

  for (size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(i);
    uint32_t width = 0, height = 0;
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05zu.png", i);
    std::vector<uint32_t> decoded = read_png(folder + name, width, height);
    ASSERT_EQ(width, 320u);
    ASSERT_EQ(height, 200u);
    ASSERT_EQ(decoded.size(), shown[i].size());
    // PNG frames carry no alpha; the decoder fills it with 0xFF.
    for (size_t p = 0; p < decoded.size(); ++p)
      ASSERT_EQ(decoded[p], shown[i][p] | 0xFF000000u) << "pixel " << p;
  }
  EXPECT_FALSE(std::filesystem::exists(folder + "/frame_00002.png"));

  std::ifstream index(folder + "/frames.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(index), {}), "00000 30\n00001 60\n");

  // A folder that cannot be made is reported once; the run goes on without a capture.
  setenv("VEK_CAPTURE", (folder + "/frames.txt/inside").c_str(), 1);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  Surface again(&console.impl(), 320, 200, Format(ARGB8888), 30, -1, -1, -1);
  EXPECT_TRUE(again.update());
  EXPECT_TRUE(again.update());
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("cannot create the folder"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("cannot create the folder"), errors.rfind("cannot create the folder"));
  std::filesystem::remove_all(folder);
}

// The video capture against a stand-in for ffmpeg that records its arguments and its input, so the
// frames and their repetition at the video rate can be checked byte for byte.
TEST_F(HeadlessConsoleTest, VideoCaptureFeedsFramesAtTheirTimes) {
  std::string folder = testing::TempDir() + "vek_video_" + std::to_string(getpid());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::string tool = folder + "/ffmpeg";
  {
    std::ofstream script(tool);
    script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\ncat > \"$0.input\"\n";
  }
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (folder + ":" + path).c_str(), 1);
  setenv("VEK_CAPTURE", (folder + "/run.mp4").c_str(), 1);

  Console console;
  ASSERT_TRUE(console.open(8, 4, FUZZY32));
  Surface frame(&console.impl(), 8, 4, Format(ARGB8888), 30, -1, -1, -1);
  // Frames at 0, 30 and 100 ms: at 50 video frames a second the first shows once, the second
  // four times, and the last once more when the capture ends.
  const uint32_t colours[] = {0x00112233, 0x00445566, 0x00778899};
  for (uint32_t colour : colours) {
    paint(frame, [colour](int32_t, int32_t) { return colour; });
    ASSERT_TRUE(frame.update());
    platform::sleep_ms(colour == colours[0] ? 30 : 70);
  }
  console.close();
  setenv("PATH", path.c_str(), 1);

  std::ifstream input(tool + ".input", std::ios::binary);
  std::vector<uint32_t> words;
  for (uint32_t word; input.read(reinterpret_cast<char*>(&word), 4);) words.push_back(word);
  const int repeats[] = {1, 4, 1};
  std::vector<uint32_t> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), repeats[i] * 32, colours[i]);
  EXPECT_EQ(words, expected);

  std::ifstream args_file(tool + ".args");
  std::string args((std::istreambuf_iterator<char>(args_file)), std::istreambuf_iterator<char>());
  for (const char* arg : {"\nbgra\n", "\n8x4\n", "\n50\n", "run.mp4\n"})
    EXPECT_NE(args.find(arg), std::string::npos) << arg << " in\n" << args;

  // Without ffmpeg the run goes on, capturing nothing.
  setenv("PATH", folder.c_str(), 1);
  std::filesystem::remove(tool);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(console.open(8, 4, FUZZY32));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ffmpeg is not installed"), std::string::npos);
  setenv("PATH", path.c_str(), 1);
  std::filesystem::remove_all(folder);
}

TEST_F(HeadlessConsoleTest, IndexedDisplayShowsThroughItsPalette) {
  Console console;
  ASSERT_TRUE(console.open(4, 2, "INDEX8"));
  Palette palette;
  uint32_t* entries = palette.lock();
  for (uint32_t i = 0; i < 256; ++i) entries[i] = 0xFF000000u | i * 0x010203u;
  palette.unlock();
  ASSERT_TRUE(console.impl().set_palette(palette));

  Surface frame(&console.impl(), 4, 2, Format(INDEX8), 30, -1, -1, -1);
  ASSERT_TRUE(frame.ok());
  ASSERT_TRUE(frame.palette(std::make_shared<Palette>()));
  std::memcpy(frame.palette()->lock(), palette.entries(), sizeof entries[0] * 256);
  frame.palette()->unlock();
  const uint8_t indices[8] = {0, 1, 2, 3, 250, 251, 254, 255};
  paint(frame, [&](int32_t x, int32_t y) { return indices[4 * y + x]; });

  ASSERT_TRUE(frame.update());
  headless::Frame shown = headless::last_frame();
  ASSERT_EQ(shown.pixels.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(shown.pixels[i], entries[indices[i]]) << i;

  Palette read_back;
  ASSERT_TRUE(console.impl().get_palette(read_back));
  EXPECT_EQ(std::memcmp(read_back.entries(), palette.entries(), sizeof entries[0] * 256), 0);
}

// Surfaces keep the address of the console they were made on; closing the console (as the error
// box does before the intro goes on) must leave them safe to present and to destroy.
TEST_F(HeadlessConsoleTest, ErrorClosesAndSurfacesOutliveTheirConsole) {
  Console console;
  testing::internal::CaptureStderr();
  console.error("could not create surface");  // never opened: the message all the same
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "display error: could not create surface\n");
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  auto frame = std::make_unique<Surface>(&console.impl(), 320, 200, Format(ARGB8888), 30, -1, -1, -1);
  Surface other(&console.impl(), 320, 200, Format(ARGB8888), 30, -1, -1, -1);
  ASSERT_TRUE(frame->update());
  uint32_t presented = headless::last_frame().count;

  testing::internal::CaptureStderr();
  console.error("can't read image!");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "display error: can't read image!\n");
  EXPECT_FALSE(console.ok());
  EXPECT_FALSE(frame->update());
  EXPECT_FALSE(other.update());
  EXPECT_EQ(headless::last_frame().count, presented);
  EXPECT_TRUE(frame->ok());
  frame.reset();
  // Re-opening gives a new back end; the surface of the old one stays inert.
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  EXPECT_FALSE(other.update());
}

}  // namespace
}  // namespace display
