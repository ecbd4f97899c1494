// WAV layout (little-endian):
//   "RIFF" riff_size:u32 "WAVE"
//   "fmt " 16:u32 format:u16=1 (PCM) channels:u16 rate:u32 bytes_per_second:u32 block_align:u16
//          bits:u16=16
//   "data" data_size:u32, then the samples
// riff_size = 36 + data_size.
#include "music/wav.h"

#include <vector>

namespace music {
namespace {

constexpr long kRiffSizeAt = 4, kDataSizeAt = 40;
constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderBytes;  // what the 32-bit sizes can say

void put_u16(std::vector<uint8_t>& b, uint32_t v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); }
void put_u32(std::vector<uint8_t>& b, uint32_t v) { put_u16(b, v & 0xFFFF), put_u16(b, v >> 16); }
void put_tag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

}  // namespace

bool WavWriter::open(const std::string& path, int rate, int channels) {
  close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  channels_ = channels;
  data_bytes_ = 0;
  std::vector<uint8_t> h;
  put_tag(h, "RIFF"), put_u32(h, 36), put_tag(h, "WAVE");
  put_tag(h, "fmt "), put_u32(h, 16), put_u16(h, 1), put_u16(h, channels), put_u32(h, rate);
  put_u32(h, rate * channels * 2), put_u16(h, channels * 2), put_u16(h, 16);
  put_tag(h, "data"), put_u32(h, 0);
  if (std::fwrite(h.data(), 1, h.size(), file_) != kHeaderBytes) close();
  return is_open();
}

void WavWriter::write(const int16_t* samples, size_t frames) {
  if (!file_) return;
  size_t count = frames * channels_;
  if (count == 0) return;
  if (count * 2 > kMaxDataBytes - data_bytes_) return;  // the file is full: keep what fits
  std::vector<uint8_t> bytes(count * 2);
  for (size_t i = 0; samples && i < count; ++i) {
    bytes[2 * i] = static_cast<uint16_t>(samples[i]) & 0xFF;
    bytes[2 * i + 1] = static_cast<uint16_t>(samples[i]) >> 8;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    std::fprintf(stderr, "music: the audio capture could not be written; it stops here\n");
    close();
    return;
  }
  data_bytes_ += static_cast<uint32_t>(bytes.size());
  patch_sizes();
}

void WavWriter::patch_sizes() {
  uint8_t riff[4], data[4];
  for (int i = 0; i < 4; ++i) {
    riff[i] = ((data_bytes_ + 36) >> (8 * i)) & 0xFF;
    data[i] = (data_bytes_ >> (8 * i)) & 0xFF;
  }
  std::fseek(file_, kRiffSizeAt, SEEK_SET);
  std::fwrite(riff, 1, 4, file_);
  std::fseek(file_, kDataSizeAt, SEEK_SET);
  std::fwrite(data, 1, 4, file_);
  std::fseek(file_, 0, SEEK_END);
  std::fflush(file_);
}

void WavWriter::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace music
