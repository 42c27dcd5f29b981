#include "testbed/memory_sync.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace vx {
namespace mem {

#if defined(_WIN32)

struct Mutex::Impl {
  CRITICAL_SECTION cs;
};
Mutex::Mutex() : impl_(new Impl) { InitializeCriticalSection(&impl_->cs); }
Mutex::~Mutex() { DeleteCriticalSection(&impl_->cs); }
void Mutex::Lock() { EnterCriticalSection(&impl_->cs); }
void Mutex::Unlock() { LeaveCriticalSection(&impl_->cs); }

struct DoneSignal::Impl {
  HANDLE event;
};
DoneSignal::DoneSignal() : impl_(new Impl) { impl_->event = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
DoneSignal::~DoneSignal() { ::CloseHandle(impl_->event); }
void DoneSignal::Set() { SetEvent(impl_->event); }
bool DoneSignal::IsSet() { return ::WaitForSingleObject(impl_->event, 0) == WAIT_OBJECT_0; }
bool DoneSignal::Wait(std::uint32_t milliseconds) {
  DWORD limit = milliseconds == kInfinite ? INFINITE : milliseconds;
  return ::WaitForSingleObject(impl_->event, limit) == WAIT_OBJECT_0;
}

namespace {
DWORD WINAPI RunWork(void* param) {
  std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(param));
  (*work)();
  return 0;
}
}  // namespace

bool RunDetached(std::function<void()> work) {
  auto* owned = new std::function<void()>(std::move(work));
  HANDLE thread = ::CreateThread(nullptr, 0, RunWork, owned, 0, nullptr);
  if (thread == nullptr) {
    delete owned;
    return false;
  }
  ::CloseHandle(thread);
  return true;
}

#else

struct Mutex::Impl {
  std::mutex m;
};
Mutex::Mutex() : impl_(new Impl) {}
Mutex::~Mutex() = default;
void Mutex::Lock() { impl_->m.lock(); }
void Mutex::Unlock() { impl_->m.unlock(); }

struct DoneSignal::Impl {
  std::mutex m;
  std::condition_variable cv;
  bool set = false;
};
DoneSignal::DoneSignal() : impl_(new Impl) {}
DoneSignal::~DoneSignal() = default;
void DoneSignal::Set() {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->set = true;
  impl_->cv.notify_all();
}
bool DoneSignal::IsSet() {
  std::lock_guard<std::mutex> lock(impl_->m);
  return impl_->set;
}
bool DoneSignal::Wait(std::uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(impl_->m);
  if (milliseconds == kInfinite) {
    impl_->cv.wait(lock, [&] { return impl_->set; });
    return true;
  }
  return impl_->cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return impl_->set; });
}

bool RunDetached(std::function<void()> work) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

#endif

}  // namespace mem
}  // namespace vx
