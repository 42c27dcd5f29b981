// The real system with the walker's pauses taken out, for the engine
// benchmark only: every call goes to the Win32 adapter unchanged except Sleep,
// which returns at once. The program itself has no such switch. The time the
// calls take is summed by kind, to show where the engine's time goes.
#pragma once
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "testbed/forwarding_platform.h"
#include "bench/bench_support.h"

namespace bench {

enum CallKind { kListing, kLookup, kFileFacts, kOpenClose, kRead, kPosition, kWrite, kFlush, kCallKinds };
inline const char* CallKindName(int kind) {
  static const char* const names[kCallKinds] = {
      "listing", "one-name searches", "attributes, deletion", "open, close", "read", "size, position", "write", "flush"};
  return names[kind];
}

class NoPausePlatform : public vx::ForwardingPlatform {
 public:
  NoPausePlatform() : ForwardingPlatform(System()) {}

  double seconds[kCallKinds] = {};
  long calls[kCallKinds] = {};
  // Off for the figures that are compared: the clock read around every call
  // costs the engine time of its own under Wine.
  bool timing = false;
  void ResetTimes() {
    for (int k = 0; k < kCallKinds; ++k) seconds[k] = 0, calls[k] = 0;
  }

  void Sleep(std::uint32_t) override {}  // the one difference

 protected:
  void Enter(const vx::PlatformCall& call) override {
    kind_ = KindOf(call);
    if (timing && kind_ != kCallKinds) start_ = SecondsNow();
  }
  void Leave(const vx::PlatformCall&) override {
    if (!timing || kind_ == kCallKinds) return;
    seconds[kind_] += SecondsNow() - start_;
    ++calls[kind_];
  }

 private:
  static vx::Platform& System() {
    static vx::Win32Platform os;
    return os;
  }

  // kCallKinds: a call that is not timed.
  static CallKind KindOf(const vx::PlatformCall& call) {
    using vx::Op;
    switch (call.op) {
      // A search for one name (the marker test) apart from a folder's listing.
      case Op::FindFirstFileA: return std::strchr(call.name, '*') != nullptr ? kListing : kLookup;
      case Op::FindNextFileA: case Op::FindClose: return kListing;
      case Op::GetFileAttributesA: case Op::SetFileAttributesA: case Op::DeleteFileA: return kFileFacts;
      case Op::CreateFileA: case Op::CloseHandle: return kOpenClose;
      case Op::ReadFile: return kRead;
      case Op::GetFileSize: case Op::SetFilePointer: return kPosition;
      case Op::WriteFile: case Op::SetEndOfFile: return kWrite;
      case Op::FlushFileBuffers: return kFlush;
      default: return kCallKinds;
    }
  }

  CallKind kind_ = kCallKinds;
  double start_ = 0;
};

}  // namespace bench
