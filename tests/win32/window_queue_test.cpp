// The queue that carries the scan worker's window calls to the window's
// thread, against real windows, messages and timers: every call arrives once
// and in order, the window wakes at once after a quiet spell, and while the
// worker keeps calling the window takes the calls in batches.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/window_queue.h"

namespace {

constexpr UINT kWake = WM_APP;

// A message-only window that drains the queue on every wake-up, as the form does.
struct Receiver {
  vx::WindowQueue queue;
  std::vector<std::string> got;
  int drains = 0;
  HWND window = nullptr;

  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    Receiver* self = reinterpret_cast<Receiver*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    if (m == kWake && self != nullptr) {
      std::deque<vx::WindowCall> calls = self->queue.TakeAll();
      if (!calls.empty()) ++self->drains;
      for (const vx::WindowCall& c : calls) self->got.push_back(c.text);
      return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
  }

  Receiver() {
    WNDCLASSA c{};
    c.lpfnWndProc = Proc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "VxQueueReceiver";
    RegisterClassA(&c);  // fails harmlessly when a previous test registered it
    window = CreateWindowExA(0, c.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    queue.SetWakeTarget(window, kWake);
  }
  ~Receiver() {
    queue.SetWakeTarget(nullptr, 0);
    DestroyWindow(window);
  }

  void Push(const std::string& text) {
    vx::WindowCall call(vx::WindowCall::kLog);
    call.text = text;
    queue.Push(std::move(call));
  }
  bool WakePosted() {
    MSG m;
    return PeekMessageA(&m, window, kWake, kWake, PM_NOREMOVE) != FALSE;
  }
  // Pumps this thread's messages until `count` calls arrived; false when `ms` ran out first.
  bool Pump(std::size_t count, DWORD ms) {
    for (DWORD start = GetTickCount(); got.size() < count;) {
      if (GetTickCount() - start > ms) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG m;
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    return true;
  }
  void PumpFor(DWORD ms) { Pump(SIZE_MAX, ms); }
};

TEST(WindowQueue, WakesAtOnceWhenQuietAndHoldsBackWhileCallsKeepComing) {
  Receiver r;
  r.Push("first");
  EXPECT_TRUE(r.WakePosted());  // a quiet window is woken by the first call
  r.Pump(1, 2000);
  r.Push("second");
  EXPECT_FALSE(r.WakePosted());  // right after a drain: held back, the timer will bring it
  ASSERT_TRUE(r.Pump(2, 2000));
  // One hold-off with nothing queued ends the holding: the next call wakes at once.
  r.PumpFor(3 * vx::WindowQueue::kHoldOffMs);
  r.Push("third");
  EXPECT_TRUE(r.WakePosted());
  ASSERT_TRUE(r.Pump(3, 2000));
  EXPECT_EQ(r.got, (std::vector<std::string>{"first", "second", "third"}));
}

constexpr int kBurstCalls = 20000;

DWORD WINAPI PushBurst(void* receiver) {
  for (int i = 0; i < kBurstCalls; ++i) {
    static_cast<Receiver*>(receiver)->Push(std::to_string(i));
    if (i % 500 == 0) Sleep(5);  // a worker that pauses now and then
  }
  return 0;
}

TEST(WindowQueue, EveryCallOfAnotherThreadArrivesOnceInOrderInFewDrains) {
  Receiver r;
  HANDLE worker = CreateThread(nullptr, 0, PushBurst, &r, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  DWORD start = GetTickCount();
  bool all = r.Pump(kBurstCalls, 60000);
  DWORD elapsed = GetTickCount() - start;
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  ASSERT_TRUE(all) << r.got.size() << " of " << kBurstCalls;
  r.PumpFor(200);
  ASSERT_EQ(r.got.size(), static_cast<std::size_t>(kBurstCalls));
  for (int i = 0; i < kBurstCalls; ++i) ASSERT_EQ(r.got[i], std::to_string(i)) << i;
  // Drains come no closer than the hold-off, besides the first one after quiet.
  EXPECT_LE(r.drains, static_cast<int>(elapsed / vx::WindowQueue::kHoldOffMs) + 2) << elapsed << " ms";
}

}  // namespace
