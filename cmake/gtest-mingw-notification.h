// GoogleTest's Notification (a one-shot "go" signal between its own threads)
// is written with std::mutex, which the win32 thread model of Debian's mingw
// lacks. This Win32 event does the same job; GoogleTest takes it instead when
// GTEST_HAS_NOTIFICATION_ is set. Force-included into GoogleTest and its users.
#pragma once
#if defined(__cplusplus) && defined(_WIN32)
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
