// Frame capture of the headless console: each presented frame as a PNG file with its clock time,
// or a video through ffmpeg.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace display::headless {

// Writes width x height ARGB8888 pixels (top row first, rows `width` pixels apart) as an 8-bit RGB
// PNG; alpha is not written, since frame pixels carry none that means anything. False on any
// failure, with no file left half-written under that name.
bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height);

// Where presented frames go. The first failure is reported on standard error and ends the capture;
// the run goes on.
class Capture {
 public:
  virtual ~Capture() = default;
  virtual void frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) = 0;

 protected:
  explicit Capture(std::string target) : target_(std::move(target)) {}
  void fail(const std::string& what);

  std::string target_;
  bool failed_ = false;
};

// VEK_CAPTURE: a name ending in ".mp4" is a video, anything else a folder of PNG files. Null when
// there is nothing to capture to (the reason is on standard error).
std::unique_ptr<Capture> open_capture(const std::string& target);

// DIR/frame_NNNNN.png per frame, and a line "NNNNN TIME" per frame in DIR/frames.txt, TIME in clock
// milliseconds.
class FolderCapture final : public Capture {
 public:
  explicit FolderCapture(std::string folder);
  ~FolderCapture() override;
  FolderCapture(const FolderCapture&) = delete;
  FolderCapture& operator=(const FolderCapture&) = delete;

  void frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) override;

 private:
  std::FILE* index_ = nullptr;
  uint32_t count_ = 0;
};

// A video at a steady VIDEO_FPS, encoded by an ffmpeg process fed raw frames: each frame is
// repeated until the next one's clock time, so the video keeps the run's timing.
class VideoCapture final : public Capture {
 public:
  static constexpr uint32_t VIDEO_FPS = 50;

  // `ffmpeg` is the program's path.
  VideoCapture(const std::string& ffmpeg, std::string file);
  ~VideoCapture() override;
  VideoCapture(const VideoCapture&) = delete;
  VideoCapture& operator=(const VideoCapture&) = delete;

  void frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) override;

 private:
  bool start(int32_t width, int32_t height);
  bool send(const std::vector<uint32_t>& pixels);

  std::string ffmpeg_;
  pid_t encoder_ = -1;
  int input_ = -1;  // our end of the encoder's standard input
  int32_t width_ = 0, height_ = 0;
  uint32_t start_ms_ = 0;
  uint64_t sent_ = 0;  // video frames written so far
  std::vector<uint32_t> last_;
};

// The path of an executable `name` on PATH, or "" when there is none.
std::string find_program(const char* name);

}  // namespace display::headless
