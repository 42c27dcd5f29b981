#include "util/handles.h"

namespace vx {

bool CloseSystemHandle(HandleKind kind, Handle handle) {
  switch (kind) {
    case HandleKind::kSearch:
      return Sys().FindClose(handle);
    case HandleKind::kRegistryKey:
      return Sys().RegCloseKey(handle) == 0;
    case HandleKind::kObject:
      break;
  }
  return Sys().CloseHandle(handle);
}

FileHandle OpenForReading(const std::string& path) {
  return FileHandle(Sys().CreateFileA(path.c_str(), kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting,
                                      kAttrNormal));
}

FileHandle OpenExclusively(const std::string& path) {
  return FileHandle(Sys().CreateFileA(path.c_str(), kGenericRead | kGenericWrite, 0, kOpenExisting, kAttrNormal));
}

SearchHandle FindFirstEntry(const std::string& pattern, FindData* entry) {
  return SearchHandle(Sys().FindFirstFileA(pattern.c_str(), entry));
}

}  // namespace vx
