#include "app/library_search.h"

#include <windows.h>

namespace vx {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the Windows XP headers this build uses
// do not know.
const DWORD kSearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
// As void (*)(), the one function type that converts to every other without a warning.
using AnyFunction = void (*)();

AnyFunction Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 == nullptr ? nullptr : reinterpret_cast<AnyFunction>(GetProcAddress(kernel32, name));
}

}  // namespace

void NarrowLibrarySearch() {
  // Windows 8 and later, and Windows 7 with the update that added it.
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(Kernel32Function("SetDefaultDllDirectories"));
  if (setDefault != nullptr) setDefault(kSearchSystem32);
  // Every version from Windows XP SP1 on: an empty folder drops the current
  // folder from the search where the call above is missing.
  auto setDirectory = reinterpret_cast<SetDllDirectoryWFn>(Kernel32Function("SetDllDirectoryW"));
  if (setDirectory != nullptr) setDirectory(L"");
}

}  // namespace vx
