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

std::string FaultPlanPlatform::What(const PlatformCall& call) const {
  if (call.op == Op::FindNextFileA || call.op == Op::FindClose) return SearchPattern(call.handle);
  if (call.op == Op::WriteFile || call.op == Op::OpenProcess) return std::to_string(call.number);
  return call.name ? call.name : "";
}

// Counts the call and arms the machine when the plan's next fault falls on it.
void FaultPlanPlatform::Enter(const PlatformCall& call) {
  const Op op = call.op;
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
  if (cut && (op != Op::WriteFile || f.bytes >= call.number)) {
    void_ = true;
    return;
  }
  ++fired_;
  const std::string what = What(call);
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
  Handle h = ForwardingPlatform::FindFirstFileA(pattern, data);
  if (h != kInvalidHandle) searches_.emplace_back(h, pattern ? pattern : "");
  return h;
}

}  // namespace vx
