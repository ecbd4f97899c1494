// The audio output through waveOut. kDeviceBlocks blocks are queued at a time, as the player's
// estimate of what is being heard (kDeviceLatencyFrames) assumes; a thread refills each block as
// the device hands it back, woken by the device's event. The device is held paused until all
// blocks are queued, so it starts with its whole queue, and the thread runs at time-critical
// priority: the intro's own thread spins while it waits for a deadline, in a process that
// DirectDraw raises to high priority.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "music/device.h"
#include "music/music.h"

namespace music {
namespace {

constexpr int kBlocks = kDeviceBlocks;

struct Output {
  std::mutex lock;  // opening and closing
  HWAVEOUT device = nullptr;
  HANDLE done = nullptr;  // signalled by the device whenever it finishes a block
  WAVEHDR headers[kBlocks] = {};
  std::vector<int16_t> samples;
  DeviceFill fill = nullptr;
  std::thread feeder;
  std::atomic<bool> stopping{false};
};

Output& output() {
  static Output& o = *new Output;  // the feeding thread may outlive static destruction at exit
  return o;
}

void queue(Output& o, WAVEHDR& header) {
  o.fill(reinterpret_cast<int16_t*>(header.lpData), kDeviceFrames);
  header.dwFlags &= ~WHDR_DONE;
  waveOutWrite(o.device, &header, sizeof header);
}

void feed(Output& o) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  waveOutPause(o.device);
  for (WAVEHDR& header : o.headers) queue(o, header);
  waveOutRestart(o.device);
  while (WaitForSingleObject(o.done, INFINITE) == WAIT_OBJECT_0 && !o.stopping.load())
    for (WAVEHDR& header : o.headers)
      if (header.dwFlags & WHDR_DONE) queue(o, header);
}

void release(Output& o) {
  if (o.device) {
    waveOutReset(o.device);
    for (WAVEHDR& header : o.headers)
      if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(o.device, &header, sizeof header);
    waveOutClose(o.device);
  }
  if (o.done) CloseHandle(o.done);
  o.device = nullptr;
  o.done = nullptr;
}

}  // namespace

bool device_open(DeviceFill fill) {
  Output& o = output();
  std::lock_guard<std::mutex> guard(o.lock);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = kDeviceChannels;
  format.nSamplesPerSec = kSampleRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = kDeviceChannels * sizeof(int16_t);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  o.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!o.done || waveOutOpen(&o.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(o.done),
                             0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    o.device = nullptr;
    release(o);
    return false;
  }
  o.fill = fill;
  o.samples.assign(size_t(kBlocks) * kDeviceFrames * kDeviceChannels, 0);
  for (int i = 0; i < kBlocks; ++i) {
    WAVEHDR& header = o.headers[i];
    header = WAVEHDR{};
    header.lpData =
        reinterpret_cast<LPSTR>(o.samples.data() + size_t(i) * kDeviceFrames * kDeviceChannels);
    header.dwBufferLength = kDeviceFrames * format.nBlockAlign;
    if (waveOutPrepareHeader(o.device, &header, sizeof header) != MMSYSERR_NOERROR) {
      release(o);
      return false;
    }
  }
  return true;
}

void device_start() {
  Output& o = output();
  std::lock_guard<std::mutex> guard(o.lock);
  if (!o.device || o.feeder.joinable()) return;
  o.stopping.store(false);
  o.feeder = std::thread([&o] { feed(o); });
}

void device_close() {
  Output& o = output();
  std::lock_guard<std::mutex> guard(o.lock);
  o.stopping.store(true);
  if (o.done) SetEvent(o.done);
  if (o.feeder.joinable()) o.feeder.join();
  release(o);
}

}  // namespace music
