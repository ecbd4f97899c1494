// The fade-out routines, on the caller's thread or on threads of their own.
//
// On the virtual clock a thread other than the clock's owner cannot move time: its waits return once
// the owner's waits have passed their deadlines. A fading thread tells its FadeFlag when it will wake
// next, and a poll of the flag by the owner waits until the thread has done everything due up to the
// owner's time. So the slide starts, the player is freed (or restarted) and the flag clears at the
// same clock time on every run.
#include <memory>
#include <mutex>
#include <vector>

#include "music/music.h"
#include "music/slide.h"
#include "platform/platform.h"

namespace music {
namespace {

constexpr uint32_t kStepMs = 30;  // how often a fading thread looks at the slide

bool reached(uint32_t now, uint32_t deadline) { return static_cast<int32_t>(now - deadline) >= 0; }

// The latest restart's flag; shared with its thread, which may still be finishing when it is replaced.
std::mutex restart_lock;
std::shared_ptr<FadeFlag> restart_flag;

}  // namespace

void fade_out(FadeFlag& flag) {
  begin_slide(kFadeThreadMs);
  while (slide_running()) {
    uint32_t wake = platform::clock_ms() + kStepMs;
    flag.wake_at(wake);
    // An absolute deadline: on the virtual clock the owner may already be past it, and a sleep
    // would then wait for time the owner will only move after this thread has looked again.
    if (platform::clock_is_virtual()) platform::wait_until(wake);
    else platform::sleep_ms(kStepMs);
  }
}

bool FadeFlag::is_set() {
  std::unique_lock<std::mutex> guard(lock_);
  if (platform::clock_is_virtual())
    changed_.wait(guard, [&] { return !set_ || (started_ && !reached(platform::clock_ms(), next_wake_)); });
  return set_;
}

void FadeFlag::wake_at(uint32_t ms) {
  std::lock_guard<std::mutex> guard(lock_);
  started_ = true;
  next_wake_ = ms;
  changed_.notify_all();
}

void FadeFlag::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  set_ = false;
  changed_.notify_all();
}

void music_fade_thread(FadeFlag* flag) {
  fade_out(*flag);
  music_free();
  flag->clear();
}

void music_fade_wait() {
  begin_slide(kFadeWaitMs);
  while (slide_running()) platform::poll_step();
}

void music_restart(const void* data, size_t size) {
  std::lock_guard<std::mutex> guard(restart_lock);
  if (restart_flag && restart_flag->is_set()) return;
  restart_flag = std::make_shared<FadeFlag>();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> copy(bytes, bytes + (bytes ? size : 0));
  // Like the thread it stands for, it ends by itself; nobody joins it.
  platform::start_thread([flag = restart_flag, copy = std::move(copy)] {
    fade_out(*flag);
    music_free();
    music_init();
    music_play_memory(copy.data(), copy.size());
    flag->clear();
  }).detach();
}

bool music_restart_busy() {
  std::shared_ptr<FadeFlag> flag;
  {
    std::lock_guard<std::mutex> guard(restart_lock);
    flag = restart_flag;
  }
  return flag && flag->is_set();
}

}  // namespace music
