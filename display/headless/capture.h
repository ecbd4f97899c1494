// Frame capture of the headless console: each presented frame as a PNG file with its clock time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace display::headless {

// Writes width x height ARGB8888 pixels (top row first, rows `width` pixels apart) as an 8-bit RGB
// PNG; alpha is not written, since frame pixels carry none that means anything. False on any
// failure, with no file left half-written under that name.
bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height);

// Capture into a folder: DIR/frame_NNNNN.png per frame and a line "NNNNN TIME" per frame in
// DIR/frames.txt, TIME in clock milliseconds. The first failure is reported on standard error and
// ends the capture; the run goes on.
class Capture {
 public:
  explicit Capture(std::string folder);
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  void frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms);

 private:
  void fail(const std::string& what);

  std::string folder_;
  std::FILE* index_ = nullptr;
  uint32_t count_ = 0;
  bool failed_ = false;
};

}  // namespace display::headless
