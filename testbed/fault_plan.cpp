#include "testbed/fault_plan.h"

namespace vx {

std::uint32_t FaultError(Op op, FaultKind kind) {
  if (kind == FaultKind::kRetryable) {
    return op == Op::CreateFileA || op == Op::DeleteFileA ? kErrorSharingViolation : kErrorLockViolation;
  }
  switch (op) {
    case Op::ReadFile: return kErrorReadFault;
    case Op::WriteFile: case Op::FlushFileBuffers: case Op::SetEndOfFile: return kErrorDiskFull;
    case Op::FindNextFileA: case Op::FindFirstFileA: return kErrorNotReady;
    default: return kErrorAccessDenied;
  }
}

void FaultPlanPlatform::SetPlan(std::vector<PlannedFault> plan) {
  plan_ = std::move(plan);
  next_ = 0;
  for (int& n : sinceLast_) n = 0;
  calls_ = fired_ = 0;
  void_ = false;
  firedAt_.clear();
  firedCalls_.clear();
  ops_.clear();
}

std::string FaultPlanPlatform::SearchPattern(Handle search) const {
  for (const auto& s : searches_) {
    if (s.first == search) return s.second;
  }
  return std::string();
}

void FaultPlanPlatform::Before(Op op, const std::string& what, std::uint32_t writeSize) {
  ++calls_;
  ops_.push_back(op);
  ++sinceLast_[static_cast<int>(op)];
  ++sinceLast_[static_cast<int>(Op::Count)];
  if (next_ >= plan_.size()) return;
  const PlannedFault& f = plan_[next_];
  if (sinceLast_[static_cast<int>(f.op)] != f.nth) return;
  ++next_;
  for (int& n : sinceLast_) n = 0;
  bool cut = f.kind == FaultKind::kWriteCut || f.kind == FaultKind::kWriteCutShort;
  if (cut && (op != Op::WriteFile || f.bytes >= writeSize)) {
    void_ = true;
    return;
  }
  ++fired_;
  firedCalls_.emplace_back(op, what);
  std::string line = std::string(OpName(op)) + (what.empty() ? "" : " " + what);
  if (cut) {
    m_.FailWriteAfter(f.bytes, kErrorDiskFull, f.kind == FaultKind::kWriteCutShort);
    line += (f.kind == FaultKind::kWriteCut ? " cut at " : " cut short at ") + std::to_string(f.bytes);
  } else {
    m_.FailCall(op, 1, FaultError(op, f.kind), f.persistent);
    line += f.kind == FaultKind::kRetryable ? " busy" : " hard";
  }
  firedAt_.push_back(line + (f.persistent ? " from then on" : " once"));
}

Handle FaultPlanPlatform::FindFirstFileA(const char* pattern, FindData* data) {
  Before(Op::FindFirstFileA, pattern ? pattern : "");
  Handle h = m_.FindFirstFileA(pattern, data);
  if (h != kInvalidHandle) searches_.emplace_back(h, pattern ? pattern : "");
  return h;
}

bool FaultPlanPlatform::FindNextFileA(Handle search, FindData* data) {
  Before(Op::FindNextFileA, SearchPattern(search));
  return m_.FindNextFileA(search, data);
}

bool FaultPlanPlatform::FindClose(Handle search) {
  Before(Op::FindClose, SearchPattern(search));
  return m_.FindClose(search);
}

std::uint32_t FaultPlanPlatform::GetFileAttributesA(const char* path) {
  Before(Op::GetFileAttributesA, path ? path : "");
  return m_.GetFileAttributesA(path);
}

bool FaultPlanPlatform::SetFileAttributesA(const char* path, std::uint32_t attributes) {
  Before(Op::SetFileAttributesA, path ? path : "");
  return m_.SetFileAttributesA(path, attributes);
}

bool FaultPlanPlatform::DeleteFileA(const char* path) {
  Before(Op::DeleteFileA, path ? path : "");
  return m_.DeleteFileA(path);
}

std::uint32_t FaultPlanPlatform::GetDriveTypeA(const char* root) {
  Before(Op::GetDriveTypeA, root ? root : "");
  return m_.GetDriveTypeA(root);
}

std::uint32_t FaultPlanPlatform::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  Before(Op::GetSystemDirectoryA, "");
  return m_.GetSystemDirectoryA(buffer, size);
}

bool FaultPlanPlatform::FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
  Before(Op::FileTimeToLocalFileTime, "");
  return m_.FileTimeToLocalFileTime(utc, local);
}

bool FaultPlanPlatform::FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) {
  Before(Op::FileTimeToDosDateTime, "");
  return m_.FileTimeToDosDateTime(time, dosDate, dosTime);
}

Handle FaultPlanPlatform::CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                                      std::uint32_t disposition, std::uint32_t flagsAndAttributes) {
  Before(Op::CreateFileA, path ? path : "");
  return m_.CreateFileA(path, access, share, disposition, flagsAndAttributes);
}

bool FaultPlanPlatform::ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
  Before(Op::ReadFile, "");
  return m_.ReadFile(file, buffer, toRead, read);
}

bool FaultPlanPlatform::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
  Before(Op::WriteFile, std::to_string(toWrite), toWrite);
  return m_.WriteFile(file, buffer, toWrite, written);
}

std::uint32_t FaultPlanPlatform::GetFileSize(Handle file, std::uint32_t* high) {
  Before(Op::GetFileSize, "");
  return m_.GetFileSize(file, high);
}

std::uint32_t FaultPlanPlatform::SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                                                std::uint32_t method) {
  Before(Op::SetFilePointer, "");
  return m_.SetFilePointer(file, distance, distanceHigh, method);
}

bool FaultPlanPlatform::SetEndOfFile(Handle file) {
  Before(Op::SetEndOfFile, "");
  return m_.SetEndOfFile(file);
}

bool FaultPlanPlatform::FlushFileBuffers(Handle file) {
  Before(Op::FlushFileBuffers, "");
  return m_.FlushFileBuffers(file);
}

bool FaultPlanPlatform::CloseHandle(Handle object) {
  Before(Op::CloseHandle, "");
  return m_.CloseHandle(object);
}

Handle FaultPlanPlatform::OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) {
  Before(Op::OpenProcess, std::to_string(pid));
  return m_.OpenProcess(access, inherit, pid);
}

bool FaultPlanPlatform::TerminateProcess(Handle process, std::uint32_t exitCode) {
  Before(Op::TerminateProcess, "");
  return m_.TerminateProcess(process, exitCode);
}

Handle FaultPlanPlatform::GetModuleHandleA(const char* name) {
  Before(Op::GetModuleHandleA, name ? name : "");
  return m_.GetModuleHandleA(name);
}

FarProc FaultPlanPlatform::GetProcAddress(Handle module, const char* name) {
  Before(Op::GetProcAddress, name ? name : "");
  return m_.GetProcAddress(module, name);
}

Handle FaultPlanPlatform::CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) {
  Before(Op::CreateThread, "");
  return m_.CreateThread(body, param, threadId);
}

std::uint32_t FaultPlanPlatform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  Before(Op::WaitForSingleObject, "");
  return m_.WaitForSingleObject(object, milliseconds);
}

std::int32_t FaultPlanPlatform::RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options,
                                                std::uint32_t access, Handle* key, std::uint32_t* disposition) {
  Before(Op::RegCreateKeyExA, subKey ? subKey : "");
  return m_.RegCreateKeyExA(root, subKey, options, access, key, disposition);
}

std::int32_t FaultPlanPlatform::RegSetValueExA(Handle key, const char* valueName, std::uint32_t type,
                                               const void* data, std::uint32_t size) {
  Before(Op::RegSetValueExA, valueName ? valueName : "");
  return m_.RegSetValueExA(key, valueName, type, data, size);
}

std::int32_t FaultPlanPlatform::RegCloseKey(Handle key) {
  Before(Op::RegCloseKey, "");
  return m_.RegCloseKey(key);
}

}  // namespace vx
