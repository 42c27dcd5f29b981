// The whole disk as it is, for the walk of a 32-bit program on 64-bit Windows.
#pragma once
#include "platform/platform.h"

namespace vx {

// Such a program sees the system folder redirected to SysWOW64: a walk would
// visit SysWOW64 twice, under both names, and never the 64-bit system folder.
// While one of these lives, the calling thread sees each folder under its own
// name; redirection comes back however the owner's scope ends. Elsewhere (a
// 32-bit or a 64-bit system, functions missing) it changes nothing. Anything
// a thread must load from a library is bound before: with redirection off, a
// 32-bit process would find the 64-bit one.
class NativeFileView {
 public:
  NativeFileView();
  ~NativeFileView();
  NativeFileView(const NativeFileView&) = delete;
  NativeFileView& operator=(const NativeFileView&) = delete;

 private:
  Wow64RevertFsRedirectionFn revert_ = nullptr;
  void* oldValue_ = nullptr;
  bool off_ = false;
};

}  // namespace vx
