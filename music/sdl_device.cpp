// The audio output through SDL2.
#include <SDL.h>

#include <atomic>

#include "music/device.h"
#include "music/music.h"

namespace music {
namespace {

std::atomic<SDL_AudioDeviceID> device{0};
DeviceFill filler = nullptr;

void feed(void*, Uint8* stream, int bytes) {
  filler(reinterpret_cast<int16_t*>(stream), size_t(bytes) / (kDeviceChannels * sizeof(int16_t)));
}

}  // namespace

bool device_open(DeviceFill fill) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{}, have{};
  want.freq = kSampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = kDeviceChannels;
  want.samples = kDeviceFrames;
  want.callback = feed;
  filler = fill;
  // No changes allowed: SDL converts to whatever the device takes, so the frame counts stay ours.
  SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!opened) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  device.store(opened);
  return opened != 0;
}

void device_start() {
  if (SDL_AudioDeviceID opened = device.load()) SDL_PauseAudioDevice(opened, 0);
}

// Whoever takes the device closes it, so two callers never close it twice.
void device_close() {
  SDL_AudioDeviceID opened = device.exchange(0);
  if (!opened) return;
  SDL_CloseAudioDevice(opened);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace music
