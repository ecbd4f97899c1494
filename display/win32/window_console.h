// The window layer that the DirectDraw and GDI back ends share: a window made and run on a thread
// of its own, the registry that leads the window procedure to its console, the key queue with its
// manual-reset event, the repaint of the last frame, and the four locks that order all this.
#pragma once

#include <windows.h>

#include <deque>

#include "display/console_base.h"

namespace display::win32 {

// An owned critical section; Guard holds one for a scope.
class Lock {
 public:
  Lock() { InitializeCriticalSection(&section_); }
  ~Lock() { DeleteCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void enter() { EnterCriticalSection(&section_); }
  void leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class Guard {
 public:
  explicit Guard(Lock& lock) : lock_(lock) { lock_.enter(); }
  ~Guard() { lock_.leave(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lock& lock_;
};

// An entry point of a library loaded at run time, or null.
template <typename Function>
Function library_entry(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Registers a window class of this library (once per process). Desktop classes redraw on resizing
// and show the arrow cursor; fullscreen classes have neither. None has a background brush.
bool register_window_class(const char* name, bool desktop);

class WindowConsole : public BasicConsole {
 public:
  ~WindowConsole() override;

  bool key() override;
  int32_t read() override;
  void* window() const override { return window_; }

  // The procedure of every window class of this library.
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 protected:
  struct WindowSpec {
    const char* class_name;
    DWORD style;
    int show;   // the ShowWindow command
    RECT rect;  // position and outer size; CW_USEDEFAULT in left leaves the position to the system
  };

  // Closes any previous window, then makes one on a new window thread and waits until it exists.
  bool create_window(const WindowSpec& def);
  void close_window();
  bool apply_title() override;

  // The frame to show again on WM_PAINT; false when there is none (the window is painted black).
  virtual bool repaint(HDC dc) = 0;
  // Messages a back end handles before the common handling; true when it consumed the message.
  virtual bool handle_first(UINT, WPARAM, LPARAM) { return false; }

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  Lock key_lock_;      // the key queue
  Lock paint_lock_;    // repainting and what it shows
  Lock window_lock_;   // the window procedure's work and the window's teardown
  Lock palette_lock_;  // the display palette and the primary surface

 private:
  static DWORD WINAPI thread_main(void* self);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  std::deque<int32_t> key_codes_;
  HANDLE key_event_ = nullptr;  // manual reset: signalled while key_codes_ is not empty
  HANDLE thread_ = nullptr;
  HANDLE created_ = nullptr;  // signalled by the window thread once the window exists (or failed)
  WindowSpec window_def_{};
};

}  // namespace display::win32
