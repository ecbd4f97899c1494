// A 16-bit PCM WAV file written as the audio is rendered. The sizes in the header are brought up to
// date after every write, so the file is complete even when the process ends without closing it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace music {

class WavWriter {
 public:
  ~WavWriter() { close(); }
  bool open(const std::string& path, int rate, int channels);
  // Interleaved frames; silence when samples is null.
  void write(const int16_t* samples, size_t frames);
  void close();
  bool is_open() const { return file_ != nullptr; }

 private:
  void patch_sizes();

  FILE* file_ = nullptr;
  int channels_ = 2;
  uint32_t data_bytes_ = 0;
};

}  // namespace music
