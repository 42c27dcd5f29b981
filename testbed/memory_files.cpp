// Files and folders of the in-memory machine: listing, attributes, deletion,
// opening with share modes, reading, writing and closing.
#include <algorithm>
#include <cstring>

#include "testbed/memory_state.h"
#include "util/utf_convert.h"

namespace vx {

using mem::Guard;
using mem::Node;
using mem::Object;

namespace {

// Bytes the machine keeps in memory for one file; beyond, writes find the disk full.
constexpr std::uint64_t kMaxStoredBytes = 1ull << 30;
constexpr std::uint32_t kProtectedBits = kAttrHidden | kAttrSystem;
constexpr std::uint32_t kSettableAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive |
                                              kAttrTemporary | kAttrOffline | kAttrNotContentIndexed;

bool Reads(std::uint32_t access) { return (access & (kGenericRead | kGenericAll | kFileReadData)) != 0; }
bool Writes(std::uint32_t access) {
  return (access & (kGenericWrite | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
}
bool Deletes(std::uint32_t access) { return (access & (kDeleteAccess | kGenericAll)) != 0; }

// Two opens of one file clash when either wants an access the other does not share.
bool SharingClash(std::uint32_t access, std::uint32_t share, const Object& open) {
  auto clashOneWay = [](std::uint32_t a, std::uint32_t s) {
    return (Reads(a) && !(s & kFileShareRead)) || (Writes(a) && !(s & kFileShareWrite)) ||
           (Deletes(a) && !(s & kFileShareDelete));
  };
  return clashOneWay(access, open.share) || clashOneWay(open.access, share);
}

template <typename T>
T Fail(std::uint32_t error, T result) {
  mem::SetThreadError(error);
  return result;
}

FindData EntryFor(const Node& node, const std::string& name) {
  FindData data;
  data.attributes = mem::ReportedAttributes(node);
  data.creationTime = data.lastAccessTime = data.lastWriteTime = node.lastWrite;
  std::uint64_t size = node.folder ? 0 : node.size;
  data.sizeHigh = static_cast<std::uint32_t>(size >> 32);
  data.sizeLow = static_cast<std::uint32_t>(size);
  std::size_t length = std::min(name.size(), sizeof(data.name) - 1);
  std::memcpy(data.name, name.data(), length);
  data.name[length] = '\0';
  std::string shortName = name == node.name ? node.ShortName() : std::string();
  std::memcpy(data.alternateName, shortName.data(), std::min(shortName.size(), sizeof(data.alternateName) - 1));
  if (data.attributes & kAttrReparsePoint) data.reparseTag = node.reparseTag;
  return data;
}

bool EndsWithSeparator(const char* path) {
  std::size_t length = std::strlen(path);
  return length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/');
}

}  // namespace

bool MemoryPlatform::State::IsRunningImageLocked(const Node* node) const {
  for (const auto& entry : processes) {
    if (!entry.second.imagePath.empty() && FindLocked(entry.second.imagePath, false).get() == node) return true;
  }
  return false;
}

bool MemoryPlatform::State::IsOpenLocked(const Node* node) const {
  for (const auto& entry : handles) {
    if (entry.second.kind == Object::Kind::File && entry.second.node.get() == node) return true;
  }
  return false;
}

void MemoryPlatform::State::FinishDeletesLocked() {
  for (auto it = pendingDeletes.begin(); it != pendingDeletes.end();) {
    if (IsOpenLocked(it->second.get())) {
      ++it;
    } else {
      it->first->RemoveChild(it->second.get());
      it = pendingDeletes.erase(it);
    }
  }
}

// ---- Listing --------------------------------------------------------------------------------

Handle MemoryPlatform::FindFirstFileA(const char* pattern, FindData* data) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FindFirstFileA, pattern ? pattern : "")) return kInvalidHandle;
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(pattern, &parsed, true);
  if (error != kErrorSuccess) return Fail(error, kInvalidHandle);
  s_->RedirectLocked(&parsed);
  if (data == nullptr) return Fail(kErrorInvalidParameter, kInvalidHandle);
  if (parsed.parts.empty() || EndsWithSeparator(pattern)) return Fail(kErrorFileNotFound, kInvalidHandle);
  std::size_t folderDepth = parsed.parts.size() - 1;
  std::shared_ptr<Node> folder = s_->WalkLocked(parsed.drive, parsed.parts, folderDepth, true, &error);
  if (!folder) return Fail(kErrorPathNotFound, kInvalidHandle);
  if (!folder->folder) return Fail(kErrorDirectory, kInvalidHandle);

  const std::string& namePattern = parsed.parts.back();
  Object search;
  search.kind = Object::Kind::Search;
  if (folderDepth > 0) {  // a drive root has no "." and ".."
    for (const char* dot : {".", ".."}) {
      if (mem::WildcardMatch(namePattern, dot)) {
        search.entries.push_back(EntryFor(*folder, dot));
        search.entries.back().attributes = kAttrDirectory;
        search.entries.back().reparseTag = 0;
      }
    }
  }
  for (const auto& child : folder->children) {
    // A name without a UTF-8 form (a test put it there as NTFS allows) is
    // passed over, as the listing through the seam passes it over.
    if (Utf16Length(child->name) == std::string::npos) continue;
    std::string shortName = child->ShortName();
    bool matches = mem::WildcardMatch(namePattern, child->name) ||
                   (!shortName.empty() && mem::WildcardMatch(namePattern, shortName));
    if (matches) {
      search.entries.push_back(EntryFor(*child, child->name));
    }
  }
  if (search.entries.empty()) return Fail(kErrorFileNotFound, kInvalidHandle);
  *data = search.entries[0];
  search.next = 1;
  return s_->NewHandleLocked(std::move(search));
}

bool MemoryPlatform::FindNextFileA(Handle search, FindData* data) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FindNextFileA)) return false;
  Object* object = s_->FindObjectLocked(search, Object::Kind::Search);
  if (object == nullptr) return Fail(kErrorInvalidHandle, false);
  if (data == nullptr) return Fail(kErrorInvalidParameter, false);
  if (object->next >= object->entries.size()) return Fail(kErrorNoMoreFiles, false);
  *data = object->entries[object->next++];
  return true;
}

bool MemoryPlatform::FindClose(Handle search) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FindClose)) return false;
  if (s_->FindObjectLocked(search, Object::Kind::Search) == nullptr) return Fail(kErrorInvalidHandle, false);
  s_->handles.erase(search);
  return true;
}

// ---- Attributes and deletion --------------------------------------------------------------

std::uint32_t MemoryPlatform::GetFileAttributesA(const char* path) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetFileAttributesA, path ? path : "")) return kInvalidFileAttributes;
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(path, &parsed);
  if (error != kErrorSuccess) return Fail(error, kInvalidFileAttributes);
  s_->RedirectLocked(&parsed);
  auto node = s_->WalkLocked(parsed.drive, parsed.parts, parsed.parts.size(), false, &error);
  if (!node) return Fail(error, kInvalidFileAttributes);
  if (node->deletePending) return Fail(kErrorAccessDenied, kInvalidFileAttributes);
  return mem::ReportedAttributes(*node);
}

bool MemoryPlatform::SetFileAttributesA(const char* path, std::uint32_t attributes) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::SetFileAttributesA, std::string(path ? path : "") + " " + std::to_string(attributes))) {
    return false;
  }
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(path, &parsed);
  if (error != kErrorSuccess) return Fail(error, false);
  s_->RedirectLocked(&parsed);
  auto node = s_->WalkLocked(parsed.drive, parsed.parts, parsed.parts.size(), false, &error);
  if (!node) return Fail(error, false);
  if (node->deletePending) return Fail(kErrorAccessDenied, false);
  // FILE_ATTRIBUTE_NORMAL (alone or not) sets no bit; a folder stays a folder, a link a link.
  std::uint32_t kept = node->attributes & (kAttrDirectory | kAttrReparsePoint);
  node->attributes = (attributes & kSettableAttributes) | kept;
  return true;
}

bool MemoryPlatform::DeleteFileA(const char* path) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::DeleteFileA, path ? path : "")) return false;
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(path, &parsed);
  if (error != kErrorSuccess) return Fail(error, false);
  s_->RedirectLocked(&parsed);
  if (parsed.parts.empty()) return Fail(kErrorAccessDenied, false);
  auto parent = s_->WalkLocked(parsed.drive, parsed.parts, parsed.parts.size() - 1, true, &error);
  if (!parent || !parent->folder) return Fail(kErrorPathNotFound, false);
  auto node = parent->Child(parsed.parts.back());
  if (!node) return Fail(kErrorFileNotFound, false);
  // A read-only file cannot be deleted even by Wine running as root.
  if (node->folder || node->deletePending || (node->attributes & kAttrReadOnly) ||
      s_->IsRunningImageLocked(node.get())) {
    return Fail(kErrorAccessDenied, false);
  }
  for (const auto& entry : s_->handles) {
    const Object& open = entry.second;
    if (open.kind == Object::Kind::File && open.node == node && !(open.share & kFileShareDelete)) {
      return Fail(kErrorSharingViolation, false);
    }
  }
  // Handles that share deletion keep the file, name and all, until the last one closes.
  node->deletePending = true;
  s_->pendingDeletes.emplace_back(parent, node);
  s_->FinishDeletesLocked();
  return true;
}

// ---- Opening ----------------------------------------------------------------------------------

std::uint32_t MemoryPlatform::State::RefusalOfExistingLocked(const Node& file, std::uint32_t access,
                                                             std::uint32_t share, std::uint32_t disposition,
                                                             std::uint32_t flags) const {
  const State& s = *this;
  bool overwrites = disposition == kCreateAlways || disposition == kTruncateExisting;
  if (file.folder || file.deletePending) return kErrorAccessDenied;
  if (disposition == kCreateNew) return kErrorFileExists;
  if (s.refusesProtected) {
    if ((file.attributes & kAttrReadOnly) && (Writes(access) || overwrites)) return kErrorAccessDenied;
    // Overwriting a hidden or system file must restate those attributes.
    std::uint32_t missing = file.attributes & kProtectedBits & ~flags;
    if (overwrites && missing != 0) return kErrorAccessDenied;
  }
  if ((Writes(access) || overwrites) && s.IsRunningImageLocked(&file)) return kErrorSharingViolation;
  for (const auto& entry : s.handles) {
    const Object& open = entry.second;
    if (open.kind == Object::Kind::File && open.node.get() == &file && SharingClash(access, share, open)) {
      return kErrorSharingViolation;
    }
  }
  return kErrorSuccess;
}

Handle MemoryPlatform::CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                                   std::uint32_t disposition, std::uint32_t flagsAndAttributes) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::CreateFileA, path ? path : "")) return kInvalidHandle;
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(path, &parsed);
  if (error != kErrorSuccess) return Fail(error, kInvalidHandle);
  s_->RedirectLocked(&parsed);
  if (disposition < kCreateNew || disposition > kTruncateExisting) return Fail(kErrorInvalidParameter, kInvalidHandle);
  if (disposition == kTruncateExisting && !Writes(access)) return Fail(kErrorInvalidParameter, kInvalidHandle);
  if (parsed.parts.empty()) return Fail(kErrorAccessDenied, kInvalidHandle);  // the drive root itself
  auto parent = s_->WalkLocked(parsed.drive, parsed.parts, parsed.parts.size() - 1, true, &error);
  if (!parent || !parent->folder) return Fail(kErrorPathNotFound, kInvalidHandle);

  std::uint32_t requested = flagsAndAttributes & kSettableAttributes;
  std::shared_ptr<Node> file = parent->Child(parsed.parts.back());
  bool existed = file != nullptr;
  if (existed) {
    error = s_->RefusalOfExistingLocked(*file, access, share, disposition, flagsAndAttributes);
    if (error != kErrorSuccess) return Fail(error, kInvalidHandle);
    if (disposition == kCreateAlways || disposition == kTruncateExisting) {
      // Wine keeps hidden, system and read-only bits it was not asked to drop.
      std::uint32_t kept = s_->refusesProtected ? 0 : file->attributes & (kProtectedBits | kAttrReadOnly);
      file->attributes = disposition == kCreateAlways ? requested | kept | kAttrArchive
                                                      : file->attributes | kAttrArchive;
      file->data.clear();
      file->size = 0;
      file->lastWrite = s_->NowFileTimeLocked();
    }
  } else {
    if (disposition == kOpenExisting || disposition == kTruncateExisting) return Fail(kErrorFileNotFound, kInvalidHandle);
    file = std::make_shared<Node>();
    file->name = parsed.parts.back();
    file->attributes = requested | kAttrArchive;
    file->lastWrite = s_->NowFileTimeLocked();
    parent->AddChild(file);
  }
  Object open;
  open.kind = Object::Kind::File;
  open.node = file;
  open.access = access;
  open.share = share;
  bool reportsExisting = existed && (disposition == kCreateAlways || disposition == kOpenAlways);
  mem::SetThreadError(reportsExisting ? static_cast<std::uint32_t>(kErrorAlreadyExists) : static_cast<std::uint32_t>(kErrorSuccess));
  return s_->NewHandleLocked(std::move(open));
}

// ---- Content -----------------------------------------------------------------------------------

bool MemoryPlatform::ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
  Guard g(s_->mu);
  if (read) *read = 0;
  if (s_->BeginLocked(Op::ReadFile, std::to_string(toRead))) return false;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  if (!Reads(open->access)) return Fail(kErrorAccessDenied, false);
  if (buffer == nullptr && toRead > 0) return Fail(kErrorNoAccess, false);
  const Node& node = *open->node;
  std::uint64_t left = open->position < node.size ? node.size - open->position : 0;
  auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(toRead, left));
  auto* out = static_cast<char*>(buffer);
  std::uint64_t stored = node.data.size();
  std::uint64_t fromData = open->position < stored ? std::min<std::uint64_t>(count, stored - open->position) : 0;
  if (fromData > 0) std::memcpy(out, node.data.data() + open->position, static_cast<std::size_t>(fromData));
  if (count > fromData) std::memset(out + fromData, 0, static_cast<std::size_t>(count - fromData));
  open->position += count;
  if (read) *read = count;
  return true;
}

bool MemoryPlatform::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
  Guard g(s_->mu);
  if (written) *written = 0;
  if (s_->BeginLocked(Op::WriteFile, std::to_string(toWrite))) return false;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  if (!Writes(open->access)) return Fail(kErrorAccessDenied, false);
  if (buffer == nullptr && toWrite > 0) return Fail(kErrorNoAccess, false);

  std::uint64_t count = toWrite;
  bool limitReached = s_->writeLimitArmed && count > s_->writeBytesLeft;
  if (limitReached) count = s_->writeBytesLeft;
  Node& node = *open->node;
  std::uint64_t end = open->position + count;
  if (end > kMaxStoredBytes && end > node.data.size()) return Fail(kErrorDiskFull, false);
  if (s_->writeLimitArmed) s_->writeBytesLeft -= count;
  if (count > 0) {
    if (node.data.size() < end) node.data.resize(static_cast<std::size_t>(end), '\0');
    std::memcpy(&node.data[static_cast<std::size_t>(open->position)], buffer, static_cast<std::size_t>(count));
    node.size = std::max(node.size, end);
    node.lastWrite = s_->NowFileTimeLocked();
    open->position = end;
  }
  if (written) *written = static_cast<std::uint32_t>(count);
  if (limitReached) {
    s_->writeLimitArmed = false;
    ++s_->faultsFired;
    if (!s_->writeLimitShort) return Fail(s_->writeLimitError, false);
  }
  return true;
}

std::uint32_t MemoryPlatform::GetFileSize(Handle file, std::uint32_t* high) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetFileSize)) return kInvalidFileSize;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, kInvalidFileSize);
  std::uint64_t size = open->node->size;
  if (high) *high = static_cast<std::uint32_t>(size >> 32);
  // A length whose low half is 0xFFFFFFFF is told apart from failure by the
  // error; any other success leaves the last error as it was.
  if (static_cast<std::uint32_t>(size) == kInvalidFileSize) mem::SetThreadError(kErrorSuccess);
  return static_cast<std::uint32_t>(size);
}

std::uint32_t MemoryPlatform::SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                                             std::uint32_t method) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::SetFilePointer, std::to_string(distance))) return kInvalidSetFilePointer;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, kInvalidSetFilePointer);
  std::int64_t move = distanceHigh == nullptr
                          ? static_cast<std::int64_t>(distance)
                          : static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                                      static_cast<std::uint32_t>(distance));
  std::int64_t base = 0;
  if (method == kFileCurrent) {
    base = static_cast<std::int64_t>(open->position);
  } else if (method == kFileEnd) {
    base = static_cast<std::int64_t>(open->node->size);
  } else if (method != kFileBegin) {
    return Fail(kErrorInvalidParameter, kInvalidSetFilePointer);
  }
  std::int64_t target = base + move;
  if (target < 0) return Fail(kErrorNegativeSeek, kInvalidSetFilePointer);
  // Without a high half the new position must fit in 32 bits.
  if (distanceHigh == nullptr && target > 0xFFFFFFFFll) return Fail(kErrorInvalidParameter, kInvalidSetFilePointer);
  open->position = static_cast<std::uint64_t>(target);
  if (distanceHigh) *distanceHigh = static_cast<std::int32_t>(static_cast<std::uint64_t>(target) >> 32);
  // As with the size: only a position whose low half is the failure mark clears the error.
  if (static_cast<std::uint32_t>(target) == kInvalidSetFilePointer) mem::SetThreadError(kErrorSuccess);
  return static_cast<std::uint32_t>(target);
}

bool MemoryPlatform::SetEndOfFile(Handle file) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::SetEndOfFile)) return false;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  if (!Writes(open->access)) return Fail(kErrorAccessDenied, false);
  Node& node = *open->node;
  if (node.data.size() > open->position) node.data.resize(static_cast<std::size_t>(open->position));
  node.size = open->position;  // growing adds zeros without storing them
  node.lastWrite = s_->NowFileTimeLocked();
  return true;
}

bool MemoryPlatform::FlushFileBuffers(Handle file) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FlushFileBuffers)) return false;
  Object* open = s_->FindObjectLocked(file, Object::Kind::File);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  if (!Writes(open->access)) return Fail(kErrorAccessDenied, false);
  return true;
}

bool MemoryPlatform::CloseHandle(Handle object) {
  Guard g(s_->mu);
  bool failed = s_->BeginLocked(Op::CloseHandle);
  if (object == GetCurrentProcess()) return !failed;  // the pseudo handle: nothing to close
  auto it = s_->handles.find(object);
  // Searches close with FindClose and keys with RegCloseKey, as on Windows.
  if (it == s_->handles.end() || it->second.kind == Object::Kind::Search || it->second.kind == Object::Kind::Key) {
    return failed ? false : Fail(kErrorInvalidHandle, false);
  }
  // Even a close that reports failure gives the object up: a file must not stay locked.
  s_->handles.erase(it);
  s_->FinishDeletesLocked();
  return !failed;
}

}  // namespace vx
