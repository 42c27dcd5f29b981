// A platform that forwards every call to an in-memory machine and fails the
// calls a plan names by their place in the sequence of calls: "the third call
// of any kind", "the next seek after the first fault". The machine carries out
// each fault itself, so a failed call behaves exactly as the machine's own
// injected failure (no effect, last error set; a failed close still gives the
// handle up). Used by the fault loops of the unit tests and by the fuzzers.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "testbed/memory_platform.h"

namespace vx {

enum class FaultKind {
  kRetryable,      // another program holds or locks the file for a moment
  kHard,           // access denied, read or disk fault: a retry does not help
  kWriteCut,       // a write lands only its first `bytes`, then fails
  kWriteCutShort,  // a write lands only its first `bytes` and reports success
};

struct PlannedFault {
  Op op = Op::Count;  // Op::Count: a call of any operation
  // Which call: the nth call of op (or of any operation), counted from the
  // start for the first fault and from the previous fault for the others.
  int nth = 1;
  FaultKind kind = FaultKind::kHard;
  std::uint32_t bytes = 10;  // the write cuts: bytes that land before the cut
  bool persistent = false;   // that call and every later call of its operation fail
};

// The error a call of op fails with for a kind of fault.
std::uint32_t FaultError(Op op, FaultKind kind);

class FaultPlanPlatform : public Platform {
 public:
  explicit FaultPlanPlatform(MemoryPlatform& machine) : m_(machine) {}

  void SetPlan(std::vector<PlannedFault> plan);
  int Fired() const { return fired_; }
  // A fault whose kind does not fit the call it fell on (a write cut on a
  // read, a cut no shorter than the write): the case means nothing.
  bool Void() const { return void_; }
  int Calls() const { return calls_; }  // calls of any operation so far
  const std::vector<Op>& CallOps() const { return ops_; }  // the operation of every call, in order
  // One line per fired fault, e.g. "FindNextFileA D:\sub\*.* once".
  const std::vector<std::string>& FiredAt() const { return firedAt_; }
  // The operation and argument (path, listing pattern) of each fired fault.
  const std::vector<std::pair<Op, std::string>>& FiredCalls() const { return firedCalls_; }
  // The listing pattern a search handle was opened with ("" when unknown).
  std::string SearchPattern(Handle search) const;

  Handle FindFirstFileA(const char* pattern, FindData* data) override;
  bool FindNextFileA(Handle search, FindData* data) override;
  bool FindClose(Handle search) override;
  std::uint32_t GetLastError() override { return m_.GetLastError(); }
  void SetLastError(std::uint32_t code) override { m_.SetLastError(code); }
  std::uint32_t GetFileAttributesA(const char* path) override;
  bool SetFileAttributesA(const char* path, std::uint32_t attributes) override;
  bool DeleteFileA(const char* path) override;
  std::uint32_t GetDriveTypeA(const char* root) override;
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;
  bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) override;
  bool FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) override;
  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                     std::uint32_t flagsAndAttributes) override;
  bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override;
  bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override;
  std::uint32_t GetFileSize(Handle file, std::uint32_t* high) override;
  std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                               std::uint32_t method) override;
  bool SetEndOfFile(Handle file) override;
  bool FlushFileBuffers(Handle file) override;
  bool CloseHandle(Handle object) override;
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  Handle GetCurrentProcess() override { return m_.GetCurrentProcess(); }
  Handle GetModuleHandleA(const char* name) override;
  FarProc GetProcAddress(Handle module, const char* name) override;
  Handle CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  void Sleep(std::uint32_t milliseconds) override { m_.Sleep(milliseconds); }
  std::uint32_t GetTickCount() override { return m_.GetTickCount(); }
  std::uint32_t TimeBeginPeriod(std::uint32_t ms) override { return m_.TimeBeginPeriod(ms); }
  std::uint32_t TimeEndPeriod(std::uint32_t ms) override { return m_.TimeEndPeriod(ms); }
  std::int32_t RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options, std::uint32_t access,
                               Handle* key, std::uint32_t* disposition) override;
  std::int32_t RegSetValueExA(Handle key, const char* valueName, std::uint32_t type, const void* data,
                              std::uint32_t size) override;
  std::int32_t RegCloseKey(Handle key) override;
  std::uint32_t CharUpperBuffA(char* text, std::uint32_t length) override {
    return m_.CharUpperBuffA(text, length);
  }

 private:
  // Counts a call and arms the machine when the plan's next fault falls on it.
  void Before(Op op, const std::string& what, std::uint32_t writeSize = 0);

  MemoryPlatform& m_;
  std::vector<PlannedFault> plan_;
  std::size_t next_ = 0;     // the plan's next fault
  int sinceLast_[static_cast<int>(Op::Count) + 1] = {};
  int calls_ = 0, fired_ = 0;
  bool void_ = false;
  std::vector<std::string> firedAt_;
  std::vector<std::pair<Op, std::string>> firedCalls_;
  std::vector<Op> ops_;
  std::vector<std::pair<Handle, std::string>> searches_;
};

}  // namespace vx
