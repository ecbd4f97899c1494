// Operating-system services the intro relies on: the millisecond clock and its waits, the message box,
// process exit, resources compiled into the library, threads and the foreground window.
// Everything above this layer reaches the operating system only through these calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

// ---- Clock ----------------------------------------------------------------------------------------
// Milliseconds, wrapping like a 32-bit tick counter. The real clock is monotonic; the virtual clock
// (VEK_CLOCK=virtual) advances only when the program waits, so a run is the same frame for frame.
//
// Virtual time belongs to one thread, the owner (the first thread to touch the clock, or the one that
// called clock_claim). The owner's waits move time forward; another thread's wait blocks until the
// owner has moved time past its deadline, so the order of events never depends on thread scheduling.
// If the owner stops moving time for a second of real time, a waiting thread moves it itself, so a
// thread joined by the owner still finishes.

uint32_t clock_ms();
bool clock_is_virtual();

// Chooses the clock from VEK_CLOCK, makes the calling thread the owner and, for the virtual clock,
// starts time at 0. Called once by each run of the intro; tests call it to start from a known state.
void clock_reset();
void clock_claim();

// Returns once clock_ms() has reached the deadline (compared with wrap-around); a virtual clock jumps.
// The real clock sleeps while more than about 2 ms remain and spins only for the rest.
void wait_until(uint32_t deadline_ms);
// Sleeps; a virtual clock advances by the length.
void sleep_ms(uint32_t ms);
// One pass of a tight polling loop (waiting for the music, for a flag): a virtual clock advances 1 ms,
// the real one sleeps 1 ms, so such a loop polls at most once a millisecond.
void poll_step();

// Called from every wait so that a window back end can keep its event queue moving. Null clears it.
void set_event_pump(void (*pump)());

// ---- Message box ------------------------------------------------------------------------------------
// Writes "caption: text" to standard error, then shows a dialog when a window back end has installed
// one. Never blocks a run without a window.
void message_box(const char* text, const char* caption);
void set_message_box_hook(void (*show)(const char* text, const char* caption));

// ---- Process ----------------------------------------------------------------------------------------
// Flushes the standard streams and ends the process; registered exit routines and static destructors
// run, so the archive is closed.
[[noreturn]] void exit_process(int status);

// The window the user is looking at (the console's), or null when there is none.
void* foreground_window();
void set_foreground_window(void* window);

// ---- Resources --------------------------------------------------------------------------------------
// Byte blobs compiled into the library, found by type and name without regard to case, as Windows
// finds resources. A ResourceRegistration at namespace scope in the library adds one at load time.
struct Resource {
  const unsigned char* data = nullptr;
  size_t size = 0;
  explicit operator bool() const { return data != nullptr; }
};

Resource find_resource(const char* type, const char* name);

struct ResourceRegistration {
  ResourceRegistration(const char* type, const char* name, const unsigned char* data, size_t size);
};

// ---- Threads ----------------------------------------------------------------------------------------
std::thread start_thread(std::function<void()> body);

}  // namespace platform
