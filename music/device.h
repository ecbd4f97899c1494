// The audio output under the player: 16-bit stereo at kSampleRate, pulled in blocks of
// kDeviceFrames by a thread of the output's own. One device at a time. SDL2 audio on Linux
// (sdl_device.cpp), waveOut on Windows (win32/wave_out.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace music {

constexpr uint16_t kDeviceFrames = 1024;  // one block: 23 ms, the bound on the position's lag
constexpr int kDeviceChannels = 2;

// Called on the output's thread for each block: fill `frames` interleaved frames.
using DeviceFill = void (*)(int16_t* samples, size_t frames);

// Opens the default output, paused; false when there is none.
bool device_open(DeviceFill fill);
void device_start();
// Stops the output and returns once no fill is running any more. Safe when nothing is open.
void device_close();

}  // namespace music
