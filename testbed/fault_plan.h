// A platform that passes every call to an in-memory machine and fails the
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

#include "testbed/forwarding_platform.h"
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

class FaultPlanPlatform : public ForwardingPlatform {
 public:
  explicit FaultPlanPlatform(MemoryPlatform& machine) : ForwardingPlatform(machine), m_(machine) {}

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

 protected:
  void Enter(const PlatformCall& call) override;

 private:
  // The call's target as the fired-fault lines name it.
  std::string What(const PlatformCall& call) const;

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
