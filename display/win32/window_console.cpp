// The window thread, the window registry and procedure, and the key queue of the Windows back ends.
#include "display/win32/window_console.h"

#include <conio.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/win32/module.h"

namespace display::win32 {
namespace {

constexpr SIZE_T kThreadStack = 256 * 1024;
constexpr DWORD kSettleMs =
    200;  // after creation, for the window to come up before the first frame

// Which console owns which window. The registry lock is never taken with a console lock held.
std::mutex registry_lock;
std::map<HWND, WindowConsole*>& registry() {
  static std::map<HWND, WindowConsole*> windows;
  return windows;
}

WindowConsole* owner_of(HWND window) {
  std::lock_guard<std::mutex> guard(registry_lock);
  auto found = registry().find(window);
  return found == registry().end() ? nullptr : found->second;
}

void enrol(HWND window, WindowConsole* console) {
  std::lock_guard<std::mutex> guard(registry_lock);
  if (console)
    registry()[window] = console;
  else
    registry().erase(window);
}

}  // namespace

bool register_window_class(const char* name, bool desktop) {
  static std::mutex lock;
  static std::set<std::string> registered;
  std::lock_guard<std::mutex> guard(lock);
  if (registered.count(name)) return true;
  WNDCLASSA wc{};
  wc.style = desktop ? CS_HREDRAW | CS_VREDRAW : 0;
  wc.lpfnWndProc = WindowConsole::procedure;
  wc.hInstance = platform::module_handle();
  // The icon is the host program's, looked up in its own module.
  wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), "IDI_VEK_ICON");
  wc.hCursor = desktop ? LoadCursor(nullptr, IDC_ARROW) : nullptr;
  wc.lpszClassName = name;
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  registered.insert(name);
  return true;
}

WindowConsole::~WindowConsole() { close_window(); }

// ---- Window thread
// ----------------------------------------------------------------------------------

DWORD WINAPI WindowConsole::thread_main(void* self_pointer) {
  auto* self = static_cast<WindowConsole*>(self_pointer);
  const WindowSpec& def = self->window_def_;
  HWND window = CreateWindowExA(0, def.class_name, self->title_.c_str(), def.style,
                                def.rect.left, def.rect.top, def.rect.right, def.rect.bottom,
                                nullptr, nullptr, platform::module_handle(), nullptr);
  if (!window) {
    SetEvent(self->created_);
    return 0;
  }
  enrol(window, self);
  self->window_ = window;
  ShowWindow(window, def.show);
  SetFocus(window);
  SetForegroundWindow(window);
  SetEvent(self->created_);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  enrol(window, nullptr);
  DestroyWindow(window);
  return 0;
}

bool WindowConsole::create_window(const WindowSpec& def) {
  close_window();
  window_def_ = def;
  created_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!created_) return false;
  thread_ = CreateThread(nullptr, kThreadStack, thread_main, this, 0, nullptr);
  if (thread_) WaitForSingleObject(created_, INFINITE);
  CloseHandle(created_);
  created_ = nullptr;
  if (window_) key_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (key_event_) dc_ = GetDC(window_);
  if (!dc_) {
    close_window();
    return false;
  }
  Sleep(kSettleMs);
  return true;
}

void WindowConsole::close_window() {
  {
    Guard guard(window_lock_);
    if (dc_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
    if (window_) PostMessageA(window_, WM_DESTROY, 0, 0);
  }
  // Outside the lock, so the window procedure can finish the messages still queued.
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  thread_ = nullptr;
  window_ = nullptr;
  if (key_event_) CloseHandle(key_event_);
  key_event_ = nullptr;
  Guard guard(key_lock_);
  key_codes_.clear();
}

bool WindowConsole::apply_title() {
  if (!window_) return false;
  return SetWindowTextA(window_, title_.c_str()) != 0;
}

// ---- Window procedure
// -------------------------------------------------------------------------------

LRESULT CALLBACK WindowConsole::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowConsole* console = owner_of(window);
  if (!console) return DefWindowProcA(window, message, wparam, lparam);
  Guard guard(console->window_lock_);
  if (console->handle_first(message, wparam, lparam)) return 0;
  return console->handle(message, wparam, lparam);
}

LRESULT WindowConsole::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN: {
      Guard guard(key_lock_);
      key_codes_.push_back(static_cast<int32_t>(wparam));
      SetEvent(key_event_);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      bool shown;
      {
        Guard guard(paint_lock_);
        shown = repaint(dc);
      }
      if (!shown) {
        RECT client;
        GetClientRect(window_, &client);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      }
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_CLOSE: platform::exit_process(0);
    case WM_DESTROY:
      ShowWindow(window_, SW_HIDE);
      PostQuitMessage(0);
      return 0;
    default: return DefWindowProcA(window_, message, wparam, lparam);
  }
}

// ---- Keys
// -------------------------------------------------------------------------------------------

bool WindowConsole::key() {
  if (!window_) return _kbhit() != 0;
  Guard guard(key_lock_);
  return !key_codes_.empty();
}

int32_t WindowConsole::read() {
  if (!window_) return _getch();
  WaitForSingleObject(key_event_, INFINITE);
  Guard guard(key_lock_);
  if (key_codes_.empty()) return 0;  // the window closed while waiting
  int32_t code = key_codes_.front();
  key_codes_.pop_front();
  if (key_codes_.empty()) ResetEvent(key_event_);
  return code;
}

}  // namespace display::win32
