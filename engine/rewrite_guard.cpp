#include "engine/rewrite_guard.h"

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace vx {
namespace {

std::atomic<int> underWay{0};
std::atomic<bool> heldBack{false};
std::atomic<void (*)()> listener{nullptr};

// A held-back rewrite waits for the program's end; the pause only keeps the
// waiting thread from spinning.
constexpr std::uint32_t kHeldBackPollMs = 50;

void Notify() {
  void (*call)() = listener.load();
  if (call != nullptr) call();
}

}  // namespace

// The count goes up before the hold is looked at, and HoldBackRewrites sets
// the hold before it is followed by a look at the count (both sequentially
// consistent): so either the window sees this rewrite counted and waits for
// it, or this rewrite sees the hold and backs off before touching the file.
RewriteUnderWay::RewriteUnderWay() {
  for (;;) {
    if (underWay.fetch_add(1) == 0) Notify();
    if (!heldBack.load()) return;
    if (underWay.fetch_sub(1) == 1) Notify();
    while (heldBack.load()) Sys().Sleep(kHeldBackPollMs);
  }
}

RewriteUnderWay::~RewriteUnderWay() {
  if (underWay.fetch_sub(1) == 1) Notify();
}

int RewritesUnderWay() { return underWay.load(); }

void HoldBackRewrites() { heldBack.store(true); }

void AllowRewrites() { heldBack.store(false); }

void SetRewriteListener(void (*call)()) { listener.store(call); }

}  // namespace vx
