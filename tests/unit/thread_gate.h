// The one way the native tests hold a worker thread at a point of their
// choosing: the worker calls Hold() there, the test waits until it is reached,
// does what it wants done meanwhile, and opens the gate.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vxtest {

// Holds the thread that reaches it until the test opens it.
class Gate {
 public:
  void Hold() {
    std::unique_lock<std::mutex> lock(mu_);
    reached_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return open_; });
  }
  void WaitUntilReached() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return reached_; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mu_);
    open_ = true;
    cv_.notify_all();
  }
  // Opens the gate a little after it was reached, from a thread of its own:
  // the test's own thread may by then be waiting for the held one.
  std::thread OpenSoonAfterReached() {
    return std::thread([this] {
      WaitUntilReached();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      Open();
    });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool reached_ = false, open_ = false;
};

}  // namespace vxtest
