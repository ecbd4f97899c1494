// Frame capture of the headless console: PNG files through libpng and an index of clock times.
#include "display/headless/capture.h"

#include <png.h>

#include <cerrno>
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

Capture::Capture(std::string folder) : folder_(std::move(folder)) {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) {
    fail("cannot create the folder: " + error.message());
    return;
  }
  index_ = std::fopen((folder_ + "/frames.txt").c_str(), "w");
  if (!index_) fail(std::string("cannot write frames.txt: ") + std::strerror(errno));
}

Capture::~Capture() {
  if (index_) std::fclose(index_);
}

void Capture::fail(const std::string& what) {
  std::fprintf(stderr, "capture %s: %s; no further frames are written\n", folder_.c_str(), what.c_str());
  failed_ = true;
}

void Capture::frame(const uint32_t* pixels, int32_t width, int32_t height, uint32_t time_ms) {
  if (failed_) return;
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%05u.png", static_cast<unsigned>(count_));
  if (!write_png(folder_ + name, pixels, width, height)) return fail(std::string("cannot write") + name);
  std::fprintf(index_, "%05u %u\n", static_cast<unsigned>(count_), static_cast<unsigned>(time_ms));
  // Flushed per frame, so the index matches the files even when the run ends by exit.
  std::fflush(index_);
  ++count_;
}

}  // namespace display::headless
