// GDIConsole: a desktop window showing the primary surface through a device-independent bitmap,
// drawn with Video for Windows DrawDib when msvfw32.dll offers it and with StretchBlt otherwise.
// Windowed only; it never changes the display mode or the process priority.
#include <windows.h>

#include <cstring>

#include "display/win32/window_console.h"

namespace display::win32 {
namespace {

constexpr DWORD kDesktopStyle = WS_OVERLAPPEDWINDOW;
static_assert(kDesktopStyle == 0x00CF0000, "overlapped window");

// The DrawDib entry points, found at run time.
using DrawDibOpenFn = HANDLE(WINAPI*)();
using DrawDibDrawFn = BOOL(WINAPI*)(HANDLE, HDC, int, int, int, int, BITMAPINFOHEADER*, void*, int,
                                    int, int, int, UINT);
using DrawDibCloseFn = BOOL(WINAPI*)(HANDLE);

// The desktop's pixel format by its depth.
Format desktop_format(int depth) {
  switch (depth) {
    case 32: return Format(ARGB8888);
    case 24: return Format(RGB888);
    case 16: return Format(RGB565);
    case 8: return Format(INDEX8);
    default: return Format();
  }
}

class GdiConsole final : public WindowConsole {
 public:
  GdiConsole() {
    HDC screen = GetDC(nullptr);
    desktop_ = desktop_format(GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
    ok_ = register_window_class("VEK_GDI_WINDOWED", true) &&
          register_window_class("VEK_GDI_FULLSCREEN", false);
    video_ = LoadLibraryA("msvfw32.dll");
    if (video_) {
      auto open = library_entry<DrawDibOpenFn>(video_, "DrawDibOpen");
      draw_ = library_entry<DrawDibDrawFn>(video_, "DrawDibDraw");
      close_ = library_entry<DrawDibCloseFn>(video_, "DrawDibClose");
      if (open && draw_ && close_) dib_context_ = open();
    }
  }

  ~GdiConsole() override {
    close_window();
    release_bitmap();
    if (dib_context_) close_(dib_context_);
    if (video_) FreeLibrary(video_);
  }

  const char* name() const override { return "GDI"; }

  bool open_mode(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t frequency,
                 int32_t layout) override {
    bool fuzzy =
        mode == FUZZY8 || mode == FUZZY16 || mode == FUZZY32 || mode == DIRECT || mode == INDEXED;
    if (!fuzzy) {
      // A format id: that format, or the desktop's without a requirement.
      Format format(mode);
      if (open_format(width, height, format, output, frequency, layout)) return true;
      if (!equal(format, desktop_)) return false;
    }
    return open_window(width, height, output, frequency, layout);
  }

 protected:
  bool open_display(int32_t width, int32_t height, int32_t output) override {
    if (output == OUTPUT_FULLSCREEN) return false;
    RECT outer{CW_USEDEFAULT, CW_USEDEFAULT, width + 2 * GetSystemMetrics(SM_CXFRAME),
               height + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION)};
    if (!create_window({"VEK_GDI_WINDOWED", kDesktopStyle, SW_SHOWNORMAL, outer})) return false;
    if (!make_bitmap(width, height)) {
      close_window();
      return false;
    }
    return true;
  }

  void close_display() override {
    close_window();
    release_bitmap();
  }

  void show(const uint32_t* pixels, int32_t width, int32_t height) override {
    if (!bits_ || width != bitmap_width_ || height != bitmap_height_) return;
    Guard guard(paint_lock_);
    std::memcpy(bits_, pixels, size_t(width) * size_t(height) * 4);
    shown_ = true;
    if (dc_) draw(dc_);
  }

  bool repaint(HDC dc) override { return shown_ && draw(dc); }

 private:
  // Output and rate as a desktop window takes them; the rest is checked by the common open.
  bool open_window(int32_t width, int32_t height, int32_t output, int32_t frequency,
                   int32_t layout) {
    if (output != -1 && output != OUTPUT_WINDOWED) return false;
    if (frequency != -1 && frequency != 0 && frequency != last_frequency_) return false;
    if (layout != -1 && layout != LAYOUT_DEFAULT) return false;
    if (!open_format(width, height, Format(ARGB8888), OUTPUT_WINDOWED, -1, layout)) return false;
    last_frequency_ = frequency == -1 ? 0 : frequency;
    return true;
  }

  // A top-down 32-bit bitmap holding the frame as it is shown.
  bool make_bitmap(int32_t width, int32_t height) {
    release_bitmap();
    std::memset(&info_, 0, sizeof info_);
    info_.biSize = sizeof info_;
    info_.biWidth = width;
    info_.biHeight = -height;
    info_.biPlanes = 1;
    info_.biBitCount = 32;
    info_.biCompression = BI_RGB;
    memory_dc_ = CreateCompatibleDC(dc_);
    bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&info_), DIB_RGB_COLORS, &bits_,
                               nullptr, 0);
    if (!memory_dc_ || !bitmap_ || !bits_) {
      release_bitmap();
      return false;
    }
    old_bitmap_ = SelectObject(memory_dc_, bitmap_);
    bitmap_width_ = width;
    bitmap_height_ = height;
    shown_ = false;
    return true;
  }

  void release_bitmap() {
    Guard guard(paint_lock_);
    if (memory_dc_ && old_bitmap_) SelectObject(memory_dc_, old_bitmap_);
    if (bitmap_) DeleteObject(bitmap_);
    if (memory_dc_) DeleteDC(memory_dc_);
    memory_dc_ = nullptr;
    bitmap_ = nullptr;
    old_bitmap_ = nullptr;
    bits_ = nullptr;
    bitmap_width_ = bitmap_height_ = 0;
    shown_ = false;
  }

  // Stretches the bitmap over the client area. Called under the paint lock.
  bool draw(HDC dc) {
    if (!bits_) return false;
    RECT client;
    GetClientRect(window_, &client);
    int w = client.right - client.left, h = client.bottom - client.top;
    if (dib_context_ &&
        draw_(dib_context_, dc, 0, 0, w, h, &info_, bits_, 0, 0, bitmap_width_, bitmap_height_, 0))
      return true;
    return StretchBlt(dc, 0, 0, w, h, memory_dc_, 0, 0, bitmap_width_, bitmap_height_, SRCCOPY) !=
           0;
  }

  Format desktop_;
  int32_t last_frequency_ = 0;
  HMODULE video_ = nullptr;
  HANDLE dib_context_ = nullptr;
  DrawDibDrawFn draw_ = nullptr;
  DrawDibCloseFn close_ = nullptr;
  BITMAPINFOHEADER info_{};
  HDC memory_dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  void* bits_ = nullptr;
  int32_t bitmap_width_ = 0, bitmap_height_ = 0;
  bool shown_ = false;
};

}  // namespace

ConsoleImpl* create_gdi_console() { return new GdiConsole; }

}  // namespace display::win32
