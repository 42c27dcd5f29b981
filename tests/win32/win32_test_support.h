// Shared helpers of the adapter tests: a scratch folder on the real file system
// of the prefix, and small file utilities that go straight to Win32 so that
// they do not depend on the adapter they help to test.
#pragma once
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace vxtest {

// A fresh folder under the system's temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends without "\"
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Sets the last-write time of a file, given as a 64-bit FILETIME count (UTC).
bool SetLastWriteTime(const std::string& path, vx::FileTime when);
// Removes a folder tree, clearing read-only attributes on the way.
void RemoveTree(const std::string& path);
// The full path of the running test program.
std::string SelfPath();
// The text's UTF-16 form and back: the seam's text is UTF-8, Win32's wide.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

}  // namespace vxtest
