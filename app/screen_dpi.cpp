#include "app/screen_dpi.h"

#include "util/dpi_scale.h"

namespace vx {
namespace {

// A function of user32 that older systems lack, or nullptr there.
template <class Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
  // Through the generic function type, which the compiler lets stand for any.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// What every Windows version reports: the scale of the screen's device context.
int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kLayoutDpi;
}

}  // namespace

int SystemDpi() {
  auto forSystem = User32Function<UINT(WINAPI*)()>("GetDpiForSystem");
  const int dpi = forSystem != nullptr ? static_cast<int>(forSystem()) : 0;
  return dpi > 0 ? dpi : ScreenDpi();
}

int WindowDpi(HWND window) {
  auto forWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const int dpi = forWindow != nullptr ? static_cast<int>(forWindow(window)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

void AdjustFrameForDpi(RECT* frame, DWORD style, DWORD exStyle, int dpi) {
  auto forDpi = User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (forDpi == nullptr || !forDpi(frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(frame, style, FALSE, exStyle);
}

int SystemMetricForDpi(int index, int dpi) {
  auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return forDpi != nullptr ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

}  // namespace vx
