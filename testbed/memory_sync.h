// The few threading primitives the in-memory machine needs. The native test bed
// has the standard library's threads; Debian's default mingw compiler (win32
// thread model) has none, so there they are built on kernel32 instead.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace vx {
namespace mem {

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void Lock();
  void Unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Guard {
 public:
  explicit Guard(Mutex& m) : m_(m) { m_.Lock(); }
  ~Guard() { m_.Unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Mutex& m_;
};

// A one-way flag that threads can wait for with a time limit (a manual-reset event).
class DoneSignal {
 public:
  DoneSignal();
  ~DoneSignal();
  DoneSignal(const DoneSignal&) = delete;
  DoneSignal& operator=(const DoneSignal&) = delete;
  void Set();
  bool IsSet();
  // True when set within the time; kInfinite waits without limit.
  bool Wait(std::uint32_t milliseconds);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs work on a new detached thread; false when no thread could be started.
bool RunDetached(std::function<void()> work);

}  // namespace mem
}  // namespace vx
