#include "app/window_queue.h"

#include <utility>

namespace vx {
namespace {

class Lock {
 public:
  explicit Lock(CRITICAL_SECTION* section) : section_(section) { EnterCriticalSection(section_); }
  ~Lock() { LeaveCriticalSection(section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION* section_;
};

}  // namespace

WindowQueue::WindowQueue() { InitializeCriticalSection(&lock_); }
WindowQueue::~WindowQueue() { DeleteCriticalSection(&lock_); }

void WindowQueue::SetWakeTarget(HWND window, UINT message) {
  Lock lock(&lock_);
  target_ = window;
  message_ = message;
}

void WindowQueue::Push(WindowCall call) {
  HWND target;
  UINT message;
  {
    Lock lock(&lock_);
    calls_.push_back(std::move(call));
    if (wakePending_ || target_ == nullptr) return;
    wakePending_ = true;
    target = target_;
    message = message_;
  }
  // Posted outside the lock: the UI thread may be taking the queue right now.
  if (!PostMessageA(target, message, 0, 0)) {
    Lock lock(&lock_);
    wakePending_ = false;  // let the next Push try again
  }
}

std::deque<WindowCall> WindowQueue::TakeAll() {
  std::deque<WindowCall> taken;
  Lock lock(&lock_);
  wakePending_ = false;
  taken.swap(calls_);
  return taken;
}

}  // namespace vx
