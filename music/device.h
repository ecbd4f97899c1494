// The audio output under the player: 16-bit stereo at kSampleRate, pulled in blocks of
// kDeviceFrames by a thread of the output's own. One device at a time. SDL2 audio on Linux
// (sdl_device.cpp), waveOut on Windows (win32/wave_out.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace music {

constexpr int kDeviceChannels = 2;
// kDeviceLatencyFrames: when the output asks for a block, the frame then heard lies this many frames
// before the end of that block.
// waveOut queues six blocks of 23 ms, and the oldest starts to be heard when the output asks for
// another: its refilling thread is woken less promptly (Wine passes each block on through a thread
// of its own and a 10 ms timer), and with two the device ran dry at start-up, with four now and then
// for 50 to 150 ms mid-run, each gap moving the rest of the music late.
// SDL's PulseAudio output asks the server to hold one block, and asks for the next block as soon as
// the last one is written: the block is long (93 ms) so that a refilling thread kept from a
// processor for 40 ms on a busy machine, as seen on two cores, does not let the server run dry, as
// it did with 23 ms blocks. By then the server has passed on about half of the block it holds
// (measured with scripts/av-offset), so the frame heard lies one and a half blocks back.
#ifdef _WIN32
constexpr uint16_t kDeviceFrames = 1024;
constexpr int kDeviceBlocks = 6;
constexpr uint32_t kDeviceLatencyFrames = kDeviceBlocks * kDeviceFrames;
#else
constexpr uint16_t kDeviceFrames = 4096;
constexpr uint32_t kDeviceLatencyFrames = kDeviceFrames * 3 / 2;
#endif

// Called on the output's thread for each block: fill `frames` interleaved frames.
using DeviceFill = void (*)(int16_t* samples, size_t frames);

// Opens the default output, paused; false when there is none.
bool device_open(DeviceFill fill);
void device_start();
// Stops the output and returns once no fill is running any more. Safe when nothing is open.
void device_close();

}  // namespace music
