#include "engine/file_rewrite.h"

#include <cstdint>

#include "util/handles.h"
#include "engine/rewrite_guard.h"
#include "engine/rewrite_steps.h"
#include "platform/platform.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

// Windows refuses to write such files and Wine running as root does not; the
// user set these bits, so the tool leaves such files alone everywhere.
constexpr std::uint32_t kLeftAlone = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory;
// Putting a file right after a failed step: tries, and the first of the
// doubling waits between them (10, 20, 40, 80 ms).
constexpr int kSettleTries = 5;
constexpr std::uint32_t kFirstSettleWaitMs = 10;
// A whole repair again while another program holds the file.
constexpr int kRepairAttempts = 3;
constexpr std::uint32_t kBusyPauseMs = 50;  // a program that held the file may just be ending

// Only another program's hold on the file passes; every other refusal stays.
RewriteResult Unchanged(std::uint32_t error) {
  bool busy = error == kErrorSharingViolation || error == kErrorLockViolation;
  return busy ? RewriteResult::kBusy : RewriteResult::kRefused;
}

void WaitBeforeTry(int attempt) {
  if (attempt > 0) Sys().Sleep(kFirstSettleWaitMs << (attempt - 1));
}

// A step of the rewrite failed after the file may have changed; `failure` is
// what the rewrite reports when the original turns out whole. The caller's
// owner closes the file once it is settled, or given up.
RewriteResult Settle(Handle file, const std::string& original, const ContentView& replacement,
                     RewriteResult failure) {
  for (int attempt = 0; attempt < kSettleTries; ++attempt) {
    WaitBeforeTry(attempt);
    std::uint32_t error = 0;
    FileHolds holds = WhatFileHolds(file, original, replacement, &error);
    if (holds == FileHolds::kUnknown) continue;
    bool touched = false;
    if (holds == FileHolds::kOther && !WriteWhole(file, original, &touched, &error)) continue;
    return holds == FileHolds::kReplacement ? RewriteResult::kDone : failure;
  }
  return RewriteResult::kLost;
}

// The close after a complete write failed, and the handle is gone with it: a
// fresh open shows whether the repaired content is in the file. Nothing is
// written: after the handle is given up, any other content may be another
// program's.
RewriteResult ConfirmByPath(const std::string& path, const std::string& original, const ContentView& replacement) {
  for (int attempt = 0; attempt < kSettleTries; ++attempt) {
    WaitBeforeTry(attempt);
    FileHandle file = OpenForReading(path);
    if (!file.IsOpen()) continue;
    std::uint32_t error = 0;
    FileHolds holds = WhatFileHolds(file.Get(), original, replacement, &error);
    file.Close();  // what was read is what the file holds, whatever the close says
    if (holds == FileHolds::kReplacement) return RewriteResult::kDone;
    if (holds == FileHolds::kOriginal) return RewriteResult::kRefused;
    if (holds == FileHolds::kOther) return RewriteResult::kLost;
  }
  return RewriteResult::kLost;
}

bool MayRewrite(const std::string& path, std::uint32_t* error) {
  std::uint32_t attributes = Sys().GetFileAttributesA(path.c_str());
  if (attributes == kInvalidFileAttributes) *error = Sys().GetLastError();
  return attributes != kInvalidFileAttributes && (attributes & kLeftAlone) == 0;
}

}  // namespace

RewriteResult RewriteFileInPlace(const std::string& path, const std::string& original,
                                 const ContentView& replacement) {
  RewriteUnderWay underWay;  // the program does not end before the file is whole again
  if (replacement.size() > original.size() || !FitsPath(path)) return RewriteResult::kRefused;
  std::uint32_t error = 0;
  if (!MayRewrite(path, &error)) return Unchanged(error);
  FileHandle file = OpenExclusively(path);
  if (!file.IsOpen()) return Unchanged(Sys().GetLastError());
  // What was read earlier may have changed since, and must not be overwritten unseen.
  if (WhatFileHolds(file.Get(), original, original, &error) != FileHolds::kOriginal) return Unchanged(error);
  bool touched = false;
  if (!WriteWhole(file.Get(), replacement, &touched, &error)) {
    if (touched) return Settle(file.Get(), original, replacement, Unchanged(error));
    return Unchanged(error);
  }
  if (file.Close()) return RewriteResult::kDone;
  return ConfirmByPath(path, original, replacement);
}

bool RepairFileInPlace(const std::string& path, const std::string& original, const ContentView& replacement) {
  for (int attempt = 1;; ++attempt) {
    RewriteResult result = RewriteFileInPlace(path, original, replacement);
    if (result == RewriteResult::kDone) return true;
    if (result != RewriteResult::kBusy || attempt == kRepairAttempts) return false;
    Sys().Sleep(kBusyPauseMs);
  }
}

}  // namespace vx
