#include "platform/win32/winmm_binding.h"

#include <windows.h>

#include <cwchar>

#include "platform/platform.h"

namespace vx {
namespace {

using TimePeriodFn = UINT(WINAPI*)(UINT);
// As void (*)(), the one function type that converts to every other without a warning.
using AnyFunction = void (*)();

bool bound = false;
TimePeriodFn beginPeriod = nullptr;
TimePeriodFn endPeriod = nullptr;

// The system folder's copy of a library and nothing else: a full path is
// never searched for, and the altered search path takes the library's own
// dependencies from the system folder too, also where the search path
// cannot be narrowed (Windows XP).
HMODULE LoadFromSystemFolder(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const std::size_t nameLength = std::wcslen(name);
  const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
  if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) return nullptr;
  path[folderLength] = L'\\';
  std::wmemcpy(path + folderLength + 1, name, nameLength + 1);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

TimePeriodFn TimePeriodFunction(HMODULE winmm, const char* name) {
  return reinterpret_cast<TimePeriodFn>(reinterpret_cast<AnyFunction>(GetProcAddress(winmm, name)));
}

}  // namespace

void BindWinmm() {
  if (bound) return;
  bound = true;
  HMODULE winmm = LoadFromSystemFolder(L"winmm.dll");
  if (winmm == nullptr) return;
  beginPeriod = TimePeriodFunction(winmm, "timeBeginPeriod");
  endPeriod = TimePeriodFunction(winmm, "timeEndPeriod");
}

std::uint32_t WinmmTimeBeginPeriod(std::uint32_t milliseconds) {
  return beginPeriod != nullptr ? beginPeriod(milliseconds) : kTimerNoCando;
}

std::uint32_t WinmmTimeEndPeriod(std::uint32_t milliseconds) {
  return endPeriod != nullptr ? endPeriod(milliseconds) : kTimerNoCando;
}

}  // namespace vx
