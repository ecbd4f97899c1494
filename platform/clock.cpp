// The real and the virtual millisecond clock, and the waits built on them. The operating system
// gives only the real clock's ticks and its sleep (system.h); the virtual clock is the same everywhere.
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/system.h"

namespace platform {
namespace {

// A real wait sleeps until this many milliseconds remain and spins for the rest; each sleep is at
// most kMaxSleepMs so that a window's events keep moving during long waits.
constexpr uint32_t kSpinMs = 2;
constexpr uint32_t kMaxSleepMs = 10;

struct ClockState {
  std::once_flag chosen;
  bool is_virtual = false;
  uint32_t epoch = system_ms();

  // Virtual time and its owner; waiters on other threads sleep on `moved`.
  std::mutex lock;
  std::condition_variable moved;
  uint32_t now = 0;
  std::thread::id owner;
  bool owned = false;

  std::atomic<void (*)()> pump{nullptr};
};

ClockState& state() {
  static ClockState s;
  return s;
}

void choose_clock(ClockState& s) {
  std::call_once(s.chosen, [&s] {
    const char* mode = std::getenv("VEK_CLOCK");
    s.is_virtual = mode && std::strcmp(mode, "virtual") == 0;
  });
}

// Deadlines are compared like 32-bit tick counts: the deadline has passed when now - deadline,
// read as signed, is not negative.
bool reached(uint32_t now, uint32_t deadline) { return static_cast<int32_t>(now - deadline) >= 0; }

uint32_t real_now(const ClockState& s) { return system_ms() - s.epoch; }

void pump_events(ClockState& s) {
  if (auto pump = s.pump.load()) pump();
}

bool is_owner(ClockState& s) {
  if (!s.owned) {
    s.owner = std::this_thread::get_id();
    s.owned = true;
  }
  return s.owner == std::this_thread::get_id();
}

// Moves virtual time to the deadline: at once on the owner's thread; elsewhere once the owner gets
// there, or after a second of real time without movement.
void virtual_wait(ClockState& s, uint32_t deadline) {
  std::unique_lock<std::mutex> guard(s.lock);
  if (is_owner(s)) {
    if (!reached(s.now, deadline)) s.now = deadline;
    s.moved.notify_all();
    return;
  }
  while (!reached(s.now, deadline)) {
    uint32_t before = s.now;
    if (!s.moved.wait_for(guard, std::chrono::seconds(1), [&] { return s.now != before; }))
      s.now = deadline;
  }
}

// Moves virtual time `ms` on from where it is now, as virtual_wait does.
void virtual_wait_for(ClockState& s, uint32_t ms) {
  uint32_t start;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    start = s.now;
  }
  virtual_wait(s, start + ms);
}

}  // namespace

bool clock_is_virtual() {
  ClockState& s = state();
  choose_clock(s);
  return s.is_virtual;
}

uint32_t clock_ms() {
  ClockState& s = state();
  choose_clock(s);
  if (!s.is_virtual) return real_now(s);
  std::lock_guard<std::mutex> guard(s.lock);
  is_owner(s);
  return s.now;
}

void clock_reset() {
  ClockState& s = state();
  choose_clock(s);
  const char* mode = std::getenv("VEK_CLOCK");
  std::lock_guard<std::mutex> guard(s.lock);
  s.is_virtual = mode && std::strcmp(mode, "virtual") == 0;
  s.now = 0;
  s.owner = std::this_thread::get_id();
  s.owned = true;
  s.moved.notify_all();
}

void clock_claim() {
  ClockState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.owner = std::this_thread::get_id();
  s.owned = true;
}

void wait_until(uint32_t deadline_ms) {
  ClockState& s = state();
  choose_clock(s);
  pump_events(s);
  if (s.is_virtual) {
    virtual_wait(s, deadline_ms);
    return;
  }
  // The deadline is kept to the millisecond, as a busy wait keeps it, but the processor is given
  // away while more than kSpinMs remain: a sleep may overrun by a millisecond or so, and only the
  // spin at the end makes up for that. The spin does not yield: on a busy machine a yield can hand
  // the processor to another program for a whole time slice, several milliseconds. The window's
  // events are pumped after each sleep.
  for (uint32_t now = real_now(s); !reached(now, deadline_ms); now = real_now(s)) {
    const uint32_t remaining = deadline_ms - now;
    if (remaining > kSpinMs) {
      system_sleep(std::min(remaining - kSpinMs, kMaxSleepMs));
      pump_events(s);
    }
  }
}

void sleep_ms(uint32_t ms) {
  ClockState& s = state();
  choose_clock(s);
  pump_events(s);
  if (s.is_virtual) {
    virtual_wait_for(s, ms);
    return;
  }
  system_sleep(ms);
}

void poll_step() {
  ClockState& s = state();
  choose_clock(s);
  pump_events(s);
  if (s.is_virtual) {
    virtual_wait_for(s, 1);
    return;
  }
  // What a tight loop polls (the music position, a flag) changes at most once a millisecond here.
  system_sleep(1);
}

void set_event_pump(void (*pump)()) { state().pump.store(pump); }

}  // namespace platform
