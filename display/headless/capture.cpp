// Frame capture of the headless console: PNG files through libpng with an index of clock times,
// or a video through an ffmpeg process.
#include "display/headless/capture.h"

#include <png.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace display::headless {

bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height) {
  if (width < 1 || height < 1) return false;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  uint8_t* out = rgb.data();
  for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
    uint32_t p = pixels[i];
    *out++ = static_cast<uint8_t>(p >> 16);
    *out++ = static_cast<uint8_t>(p >> 8);
    *out++ = static_cast<uint8_t>(p);
  }

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;

  // Written under a temporary name and renamed, so a reader never sees half a frame.
  std::string partial = path + ".part";
  bool written = png_image_write_to_file(&image, partial.c_str(), 0, rgb.data(), width * 3, nullptr);
  png_image_free(&image);
  if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

void Capture::fail(const std::string& what) {
  std::fprintf(stderr, "capture %s: %s; no further frames are written\n", target_.c_str(), what.c_str());
  failed_ = true;
}

FolderCapture::FolderCapture(std::string folder) : Capture(std::move(folder)) {
  std::error_code error;
  std::filesystem::create_directories(target_, error);
  if (error) {
    fail("cannot create the folder: " + error.message());
    return;
  }
  index_ = std::fopen((target_ + "/frames.txt").c_str(), "w");
  if (!index_) fail(std::string("cannot write frames.txt: ") + std::strerror(errno));
}

FolderCapture::~FolderCapture() {
  if (index_) std::fclose(index_);
}

void FolderCapture::frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) {
  if (failed_) return;
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05u.png", static_cast<unsigned>(count_));
  if (!write_png(target_ + "/" + name, pixels, width, height)) return fail(std::string("cannot write ") + name);
  std::fprintf(index_, "%05u %u\n", static_cast<unsigned>(count_), static_cast<unsigned>(time_ms));
  // Flushed per frame, so the index matches the files even when the run ends by exit.
  std::fflush(index_);
  ++count_;
}

std::string find_program(const char* name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= folders.size();) {
    size_t colon = std::min(folders.find(':', start), folders.size());
    std::string candidate = folders.substr(start, colon - start);
    start = colon + 1;
    candidate = (candidate.empty() ? "." : candidate) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

std::unique_ptr<Capture> open_capture(const std::string& target) {
  bool video = target.size() > 4 && target.compare(target.size() - 4, 4, ".mp4") == 0;
  if (!video) return std::make_unique<FolderCapture>(target);
  std::string ffmpeg = find_program("ffmpeg");
  if (ffmpeg.empty()) {
    std::fprintf(stderr, "capture %s: ffmpeg is not installed, so no video is written\n", target.c_str());
    return nullptr;
  }
  return std::make_unique<VideoCapture>(ffmpeg, target);
}

VideoCapture::VideoCapture(const std::string& ffmpeg, std::string file)
    : Capture(std::move(file)), ffmpeg_(ffmpeg) {}

VideoCapture::~VideoCapture() {
  // The last frame is shown for one more video frame, so even a single frame makes a video.
  if (!failed_ && !last_.empty()) send(last_);
  if (input_ >= 0) close(input_);
  int status = 0;
  if (encoder_ > 0 && (waitpid(encoder_, &status, 0) != encoder_ || !WIFEXITED(status) ||
                       WEXITSTATUS(status) != 0))
    std::fprintf(stderr, "capture %s: ffmpeg did not finish the video\n", target_.c_str());
}

bool VideoCapture::start(int32_t width, int32_t height) {
  // A socket rather than a pipe: a send to an encoder that has died fails with EPIPE instead of
  // raising SIGPIPE, which would end the whole program.
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::string rate = std::to_string(VIDEO_FPS);
  // ARGB8888 words are B, G, R, A bytes in memory.
  const char* argv[] = {ffmpeg_.c_str(), "-nostdin", "-loglevel", "error", "-y", "-f", "rawvideo",
                        "-pixel_format", "bgra", "-video_size", size.c_str(), "-framerate",
                        rate.c_str(), "-i", "-", "-pix_fmt", "yuv420p", target_.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  int spawned = posix_spawn(&encoder_, ffmpeg_.c_str(), &actions, nullptr,
                            const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (spawned != 0) {
    encoder_ = -1;
    close(ends[0]);
    return false;
  }
  input_ = ends[0];
  width_ = width;
  height_ = height;
  return true;
}

bool VideoCapture::send(const std::vector<uint32_t>& pixels) {
  auto bytes = reinterpret_cast<const char*>(pixels.data());
  for (size_t left = pixels.size() * sizeof pixels[0]; left > 0;) {
    ssize_t n = ::send(input_, bytes, left, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail("ffmpeg stopped reading frames");
      return false;
    }
    bytes += n;
    left -= static_cast<size_t>(n);
  }
  ++sent_;
  return true;
}

void VideoCapture::frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) {
  if (failed_) return;
  if (encoder_ < 0) {
    if (!start(width, height)) return fail("cannot start ffmpeg");
    start_ms_ = time_ms;
  }
  if (width != width_ || height != height_) return fail("the frame size changed");
  // Video frames due before this one's time still show the previous frame.
  uint64_t due = uint64_t{time_ms - start_ms_} * VIDEO_FPS / 1000;
  while (sent_ < due && !last_.empty())
    if (!send(last_)) return;
  last_.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
}

}  // namespace display::headless
