#include "engine/native_file_view.h"

namespace vx {

// Both functions are bound before redirection goes off, so putting it back
// needs no lookup.
NativeFileView::NativeFileView() {
  const Handle kernel32 = Sys().GetModuleHandleA("kernel32.dll");
  if (kernel32 == kNullHandle) return;
  auto disable = reinterpret_cast<Wow64DisableFsRedirectionFn>(
      Sys().GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
  revert_ = reinterpret_cast<Wow64RevertFsRedirectionFn>(
      Sys().GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection"));
  if (disable == nullptr || revert_ == nullptr) return;
  off_ = disable(&oldValue_) != 0;
}

NativeFileView::~NativeFileView() {
  if (off_) revert_(oldValue_);
}

}  // namespace vx
