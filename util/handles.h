// Owners of the handles the engine opens: files, folder searches, processes,
// process snapshots and registry keys. An owner cannot be copied, so one
// handle has one owner; it can be moved out of the function that opened it.
//
// Close() asks the system once and forgets the value whatever the answer: a
// handle whose close failed is never used or closed again, because its value
// may already name an object another thread has just opened. The destructor
// closes what was not closed, so a failure that ends a file's handling or a
// folder's listing leaves no handle behind.
#pragma once
#include <string>

#include "platform/platform.h"

namespace vx {

// How a kind of handle goes back to the system.
enum class HandleKind {
  kObject,       // CloseHandle: files, processes, snapshots
  kSearch,       // FindClose
  kRegistryKey,  // RegCloseKey
};

// True when the system reports the close as done.
bool CloseSystemHandle(HandleKind kind, Handle handle);

template <HandleKind kKind>
class HandleOwner {
 public:
  HandleOwner() = default;
  // Takes over what an open call returned, a failure mark included, so that
  // the caller can still pass on exactly what the system gave.
  explicit HandleOwner(Handle handle) : handle_(handle) {}
  HandleOwner(HandleOwner&& other) noexcept : handle_(other.handle_) { other.handle_ = kNullHandle; }
  HandleOwner& operator=(HandleOwner&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kNullHandle;
    }
    return *this;
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  ~HandleOwner() { Close(); }

  // Both failure marks of the open calls hold nothing: 0 (OpenProcess, the
  // registry, an unbound snapshot call) and the invalid value (CreateFileA,
  // FindFirstFileA, a failed snapshot).
  bool IsOpen() const { return handle_ != kNullHandle && handle_ != kInvalidHandle; }
  Handle Get() const { return handle_; }

  // True when the system closed the handle, or when none was held.
  bool Close() {
    if (!IsOpen()) return true;
    Handle handle = handle_;
    handle_ = kNullHandle;
    return CloseSystemHandle(kKind, handle);
  }

 private:
  Handle handle_ = kNullHandle;
};

using ObjectHandle = HandleOwner<HandleKind::kObject>;
using FileHandle = ObjectHandle;
using SearchHandle = HandleOwner<HandleKind::kSearch>;
using RegistryKey = HandleOwner<HandleKind::kRegistryKey>;

// An existing file for reading, shared with readers and writers: the whole
// reader and a look at what a rewrite left behind after its handle was gone.
FileHandle OpenForReading(const std::string& path);

// An existing file for reading and writing, shared with nobody: while the
// rewrite holds it, no other program can change it underneath.
FileHandle OpenExclusively(const std::string& path);

// The first entry matching the pattern into *entry; the search holds nothing
// when none matches, and the system's last error says why.
SearchHandle FindFirstEntry(const std::string& pattern, FindData* entry);

}  // namespace vx
