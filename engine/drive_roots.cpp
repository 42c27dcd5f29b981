#include "engine/drive_roots.h"

#include <string>

#include "engine/scan_control.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "platform/platform.h"

namespace vx {
namespace {

// After the drive letter.
const char* const kRootFiles[] = {":\\autorun.inf", ":\\setup.exe"};

// The attributes are reset first: the worm marks its files read-only, hidden
// and system, and a read-only file cannot be deleted.
void DeleteRootFile(const std::string& letter, const char* file) {
  std::string path = letter + file;
  Sys().SetFileAttributesA(path.c_str(), kAttrNormal);
  if (Sys().DeleteFileA(path.c_str())) WindowLog(path + kDeletedLog);
}

}  // namespace

void CleanDriveRoots() {
  std::string drives = ListScanDrives();
  for (std::size_t i = drives.size(); i > 0; --i) {
    std::string letter(1, drives[i - 1]);
    if (IsFloppyLetter(letter)) continue;
    for (const char* file : kRootFiles) DeleteRootFile(letter, file);
  }
}

}  // namespace vx
