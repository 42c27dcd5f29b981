#include "app/session_block.h"

namespace vx {
namespace {

using ReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using ReasonDestroyFn = BOOL(WINAPI*)(HWND);

// "Files are being repaired; please wait for the repair to finish before logging off or shutting down."
const wchar_t kReason[] = L"正在修复被感染的文件,请等待修复完成后再注销或关机。";

// As void (*)(), the one function type that converts to every other without a warning.
using AnyFunction = void (*)();
AnyFunction User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 == nullptr ? nullptr : reinterpret_cast<AnyFunction>(GetProcAddress(user32, name));
}

}  // namespace

void SessionBlock::Hold(HWND window, bool hold) {
  if (hold == held_) return;
  held_ = hold;
  if (hold) {
    auto create = reinterpret_cast<ReasonCreateFn>(User32Function("ShutdownBlockReasonCreate"));
    if (create != nullptr) create(window, kReason);
  } else {
    auto destroy = reinterpret_cast<ReasonDestroyFn>(User32Function("ShutdownBlockReasonDestroy"));
    if (destroy != nullptr) destroy(window);
  }
}

}  // namespace vx
