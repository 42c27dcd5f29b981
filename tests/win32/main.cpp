// Entry of the adapter tests: installs the real Win32 platform and runs the
// suites. With "--sleep MS" the program only sleeps and exits with code 3; the
// process tests start a copy of it that way as a victim they can find and end.
#include <windows.h>

#include <cstdlib>
#include <cstring>
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
  HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(when);
  ft.dwHighDateTime = static_cast<DWORD>(when >> 32);
  BOOL ok = ::SetFileTime(h, nullptr, nullptr, &ft);
  ::CloseHandle(h);
  return ok != FALSE;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!std::strcmp(fd.cFileName, ".") || !std::strcmp(fd.cFileName, "..")) continue;
      std::string child = path + "\\" + fd.cFileName;
      ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        ::DeleteFileA(child.c_str());
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryA(path.c_str());
}

std::string SelfPath() {
  char buffer[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
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
