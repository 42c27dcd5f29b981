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
  HWND old;
  {
    Lock lock(&lock_);
    old = target_;
    target_ = window;
    message_ = message;
  }
  if (holding_ && old != nullptr) KillTimer(old, TimerId());
  holding_ = false;
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
  if (!PostMessageW(target, message, 0, 0)) {
    Lock lock(&lock_);
    wakePending_ = false;  // let the next Push try again
  }
}

std::deque<WindowCall> WindowQueue::TakeAll() {
  std::deque<WindowCall> taken;
  HWND target;
  bool hold;
  {
    Lock lock(&lock_);
    taken.swap(calls_);
    target = target_;
    // Having taken calls, hold the next wake-up back; with none taken the
    // worker has gone quiet and its next call wakes the window at once.
    hold = !taken.empty() && target != nullptr;
    wakePending_ = hold;
  }
  if (hold) {
    // Setting the timer again restarts it: the hold-off counts from this drain.
    holding_ = SetTimer(target, TimerId(), kHoldOffMs, HoldOffEnded) != 0;
    if (!holding_) {
      Lock lock(&lock_);
      wakePending_ = false;  // without a timer, every call wakes the window again
    }
  } else if (holding_) {
    KillTimer(target, TimerId());
    holding_ = false;
  }
  return taken;
}

// The hold-off is over: the form drains whatever came meanwhile, which either
// starts the next hold-off or, with nothing queued, ends holding.
void CALLBACK WindowQueue::HoldOffEnded(HWND window, UINT, UINT_PTR id, DWORD) {
  WindowQueue* queue = reinterpret_cast<WindowQueue*>(id);
  UINT message;
  {
    Lock lock(&queue->lock_);
    message = queue->message_;
  }
  if (message != 0) SendMessageW(window, message, 0, 0);
}

}  // namespace vx
