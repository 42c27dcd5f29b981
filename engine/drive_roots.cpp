#include "engine/drive_roots.h"

#include <string>

#include "engine/scan_control.h"
#include "engine/window_ops.h"
#include "platform/platform.h"

namespace vx {
namespace {

struct RootFile {
  const char* path;     // after the drive letter
  const char* logText;  // after the drive letter
};
const RootFile kRootFiles[] = {
    {":\\autorun.inf", ":\\autorun.inf 删除成功!"},
    {":\\setup.exe", ":\\setup.exe 删除成功!"},
};

// The attributes are reset first: the worm marks its files read-only, hidden
// and system, and a read-only file cannot be deleted.
void DeleteRootFile(const std::string& letter, const RootFile& file) {
  std::string path = letter + file.path;
  Sys().SetFileAttributesA(path.c_str(), kAttrNormal);
  if (Sys().DeleteFileA(path.c_str())) WindowLog(letter + file.logText);
}

}  // namespace

void CleanDriveRoots() {
  std::string drives = ListScanDrives();
  for (std::size_t i = drives.size(); i > 0; --i) {
    std::string letter(1, drives[i - 1]);
    if (IsFloppyLetter(letter)) continue;
    for (const RootFile& file : kRootFiles) DeleteRootFile(letter, file);
  }
}

}  // namespace vx
