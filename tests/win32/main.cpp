// Entry of the adapter tests: installs the real Win32 platform and runs the
// suites. With "--sleep MS" the program only sleeps and exits with code 3; the
// process tests start a copy of it that way as a victim they can find and end.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "tests/win32/win32_test_support.h"

namespace vxtest {

TempDir::TempDir() {
  char base[MAX_PATH] = {};
  DWORD n = ::GetTempPathA(sizeof base, base);
  std::string root(base, n);
  if (!root.empty() && root.back() == '\\') root.pop_back();
  for (unsigned i = 0;; ++i) {
    path_ = root + "\\vxt" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(i);
    if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS || i > 1000) std::abort();
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

bool SetLastWriteTime(const std::string& path, vx::FileTime when) {
  HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(when);
  ft.dwHighDateTime = static_cast<DWORD>(when >> 32);
  BOOL ok = ::SetFileTime(h, nullptr, nullptr, &ft);
  ::CloseHandle(h);
  return ok != FALSE;
}

// Wide throughout, so that names of any script, and names that have no UTF-8
// form at all, go with the tree.
void RemoveWideTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!std::wcscmp(fd.cFileName, L".") || !std::wcscmp(fd.cFileName, L"..")) continue;
      std::wstring child = path + L"\\" + fd.cFileName;
      ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveWideTree(child);
      else
        ::DeleteFileW(child.c_str());
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::string& path) { RemoveWideTree(Wide(path)); }

std::string SelfPath() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return Utf8(std::wstring(buffer, n));
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                                static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(n));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 3, '\0');
  int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n));
  return utf8;
}

}  // namespace vxtest

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--sleep") == 0) {
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return 3;
  }
  static vx::Win32Platform platform;
  vx::SetPlatform(&platform);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
