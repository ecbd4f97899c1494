// DirectXConsole: exclusive fullscreen through DirectDraw, loaded at run time from ddraw.dll.
// Frames are converted straight into the display's memory; there is no back buffer and no flip. The
// process runs at high priority while the back end exists.
#include <windows.h>
// After windows.h, whose types it uses.
#include <ddraw.h>

#include <iterator>
#include <memory>
#include <vector>

#include "display/convert.h"
#include "display/fullscreen_modes.h"
#include "display/win32/window_console.h"

namespace display::win32 {
namespace {

constexpr DWORD kFullscreenStyle = WS_POPUP | WS_SYSMENU;
static_assert(kFullscreenStyle == 0x80080000, "popup with system menu");
static_assert((DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) == 0x11, "exclusive fullscreen cooperation");
constexpr HRESULT kExclusiveTaken = static_cast<HRESULT>(0x8876023B);
constexpr DWORD kLostRetryMs = 10;

using DirectDrawCreateFn = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

Format format_of(const DDPIXELFORMAT& pf) {
  if (pf.dwFlags & DDPF_PALETTEINDEXED8) return Format(INDEX8);
  if (!(pf.dwFlags & DDPF_RGB)) return Format();
  int32_t bits = int32_t(pf.dwRGBBitCount);
  Format described =
      Format::from_masks(bits, (bits + 7) / 8, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask, 0);
  // Displays report no alpha; the named format of the same channels is the one the converters know.
  for (int32_t id : {ARGB8888, RGB888, RGB565, ARGB1555})
    if (Format named(id); named.bytes == described.bytes && named.red.mask == described.red.mask &&
                          named.green.mask == described.green.mask &&
                          named.blue.mask == described.blue.mask)
      return named;
  return described;
}

HRESULT WINAPI collect_mode(DDSURFACEDESC* desc, void* list) {
  static_cast<std::vector<DisplayMode>*>(list)->push_back(
      {int32_t(desc->dwWidth), int32_t(desc->dwHeight), format_of(desc->ddpfPixelFormat)});
  return DDENUMRET_OK;
}

// The DirectX back end has no windowed output (GDI serves that); codes that are no output at all
// are refused too, rather than taken for fullscreen.
bool fullscreen_output(int32_t output) { return output == -1 || output == OUTPUT_FULLSCREEN; }

class DirectXConsole final : public WindowConsole {
 public:
  DirectXConsole() {
    library_ = LoadLibraryA("ddraw.dll");
    create_ = library_ ? library_entry<DirectDrawCreateFn>(library_, "DirectDrawCreate") : nullptr;
    ok_ = create_ && make_directdraw() && register_window_class("VEK_DIRECTX_WINDOWED", true) &&
          register_window_class("VEK_DIRECTX_FULLSCREEN", false);
    if (!ok_) {
      release_directdraw();
      return;
    }
    use([&](auto* dd) { return dd->EnumDisplayModes(0, nullptr, &modes_, collect_mode); });
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  }

  ~DirectXConsole() override {
    close_display();
    if (!ok_) return;
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    release_directdraw();
  }

  const char* name() const override { return "DirectX"; }

  // The mode code first, then the format it names (fullscreen_modes.h).
  bool open_mode(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t frequency,
                 int32_t layout) override {
    return fullscreen_output(output) &&
           open_trials(width, height, fullscreen_trials(width, height, mode, modes_), frequency, layout);
  }

  bool open_format(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t frequency, int32_t layout) override {
    return fullscreen_output(output) &&
           open_trials(width, height, fullscreen_trials(width, height, format, modes_), frequency,
                       layout);
  }

 protected:
  bool open_display(int32_t width, int32_t height, int32_t) override {
    if (!create_window({"VEK_DIRECTX_FULLSCREEN", kFullscreenStyle, SW_HIDE, RECT{0, 0, 0, 0}}))
      return false;
    if (cooperate() && set_display_mode(width, height) && make_primary()) return true;
    close_display();
    return false;
  }

  void close_display() override {
    {
      Guard guard(palette_lock_);
      if (primary_) primary_->Release();
      primary_ = nullptr;
      converter_.reset();
    }
    if (directdraw_ && window_) restore_display();
    close_window();
  }

  void show(const uint32_t* pixels, int32_t width, int32_t height) override {
    Guard guard(palette_lock_);
    DDSURFACEDESC desc{};
    if (!converter_ || !lock_primary(desc)) return;
    ConvertArea area;
    area.source = pixels;
    area.destination = desc.lpSurface;
    area.width = std::min<int32_t>(width, int32_t(desc.dwWidth));
    area.height = std::min<int32_t>(height, int32_t(desc.dwHeight));
    area.source_pitch = width * 4;
    area.destination_pitch = int32_t(desc.lPitch);
    convert_area(*converter_, area, nullptr);
    primary_->Unlock(nullptr);
  }

  bool repaint(HDC) override { return false; }

  // The fullscreen window hides the mouse and keeps itself in front; it paints nothing itself.
  bool handle_first(UINT message, WPARAM, LPARAM) override {
    switch (message) {
      case WM_SETCURSOR: SetCursor(nullptr); return true;
      case WM_ACTIVATEAPP:
      case WM_ACTIVATE:
        SetCursor(nullptr);
        SetForegroundWindow(window_);
        if (primary_) SetActiveWindow(window_);
        return false;
      case WM_PAINT: ValidateRect(window_, nullptr); return true;
      default: return false;
    }
  }

 private:
  bool make_directdraw() {
    if (FAILED(create_(nullptr, &directdraw_, nullptr))) directdraw_ = nullptr;
    // The newer interface, when the library has it, serves every later call.
    void* newer = nullptr;
    if (directdraw_ && SUCCEEDED(directdraw_->QueryInterface(IID_IDirectDraw2, &newer)))
      newer_ = static_cast<IDirectDraw2*>(newer);
    return directdraw_ != nullptr;
  }

  // Calls the newer interface when there is one, else the first.
  template <typename Call>
  HRESULT use(Call call) {
    return newer_ ? call(newer_) : call(directdraw_);
  }

  HRESULT display_mode(int32_t width, int32_t height, int32_t depth) {
    if (newer_) return newer_->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth), 0, 0);
    return directdraw_->SetDisplayMode(DWORD(width), DWORD(height), DWORD(depth));
  }

  void restore_display() {
    use([](auto* dd) { return dd->RestoreDisplayMode(); });
    use([&](auto* dd) { return dd->SetCooperativeLevel(window_, DDSCL_NORMAL); });
  }

  void release_interfaces() {
    if (newer_) newer_->Release();
    if (directdraw_) directdraw_->Release();
    newer_ = nullptr;
    directdraw_ = nullptr;
  }

  void release_directdraw() {
    release_interfaces();
    if (library_) FreeLibrary(library_);
    library_ = nullptr;
  }

  // Frames are drawn in ARGB8888 and converted to whatever depth the display takes.
  bool open_trials(int32_t width, int32_t height, const std::vector<DepthTrial>& trials,
                   int32_t frequency, int32_t layout) {
    for (const DepthTrial& depths : trials) {
      depths_ = depths;
      if (BasicConsole::open_format(width, height, Format(ARGB8888), OUTPUT_FULLSCREEN, frequency,
                                    layout))
        return true;
    }
    return false;
  }

  // Exclusive fullscreen; when another exclusive owner is recorded, start DirectDraw over once.
  bool cooperate() {
    auto exclusive = [&](auto* dd) {
      return dd->SetCooperativeLevel(window_, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    };
    HRESULT result = use(exclusive);
    if (result == kExclusiveTaken) {
      restore_display();
      release_interfaces();
      if (!make_directdraw()) return false;
      result = use(exclusive);
    }
    return SUCCEEDED(result);
  }

  bool set_display_mode(int32_t width, int32_t height) {
    for (int32_t depth : depths_)
      if (SUCCEEDED(display_mode(width, height, depth))) return true;
    return false;
  }

  bool create_primary_surface() {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(use([&](auto* dd) { return dd->CreateSurface(&desc, &primary_, nullptr); })))
      primary_ = nullptr;
    return primary_ != nullptr;
  }

  bool make_primary() {
    Guard guard(palette_lock_);
    if (!create_primary_surface()) return false;
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    if (SUCCEEDED(primary_->GetPixelFormat(&pf)))
      converter_ = request_converter(Format(ARGB8888), format_of(pf));
    return converter_ != nullptr;
  }

  // Waits for the lock; a lost surface is made again and locked once more.
  bool lock_primary(DDSURFACEDESC& desc) {
    desc.dwSize = sizeof desc;
    HRESULT result = primary_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (result == DDERR_SURFACELOST) {
      primary_->Release();
      primary_ = nullptr;
      if (!create_primary_surface()) {
        Sleep(kLostRetryMs);
        return false;
      }
      result = primary_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    }
    return SUCCEEDED(result);
  }

  HMODULE library_ = nullptr;
  DirectDrawCreateFn create_ = nullptr;
  IDirectDraw* directdraw_ = nullptr;
  IDirectDraw2* newer_ = nullptr;
  IDirectDrawSurface* primary_ = nullptr;
  std::vector<DisplayMode> modes_;
  DepthTrial depths_;  // of the open under way
  std::unique_ptr<Converter> converter_;
};

}  // namespace

ConsoleImpl* create_directx_console() { return new DirectXConsole; }

}  // namespace display::win32
