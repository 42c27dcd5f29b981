// What every fuzz target shares: a fresh in-memory machine and recording
// window per input, and a check at start-up that this build's text literals
// are the GBK bytes the product's literals are. Each target is one source
// file that includes this header once, so the start-up hook is defined here.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/window_ops.h"
#include "testbed/memory_platform.h"
#include "tests/unit/fake_window.h"

namespace vx {

// "还原成功!" as the product's compiler writes it. A build that compiled the
// UTF-8 sources instead of their GBK copies would compare other bytes.
inline void RequireGbkLiterals() {
  static const unsigned char kGbk[] = {0xBB, 0xB9, 0xD4, 0xAD, 0xB3, 0xC9, 0xB9, 0xA6, '!'};
  static const char kLiteral[] = "还原成功!";
  if (sizeof kLiteral != sizeof kGbk + 1 || std::memcmp(kLiteral, kGbk, sizeof kGbk) != 0) {
    std::fprintf(stderr, "text literals are not GBK: build the fuzzers from the GBK copies\n");
    std::abort();
  }
}

// Aborts with a message: libFuzzer keeps the input that led here.
[[noreturn]] inline void Broken(const std::string& what) {
  std::fprintf(stderr, "broken: %s\n", what.c_str());
  std::abort();
}

inline void Require(bool ok, const std::string& what) {
  if (!ok) Broken(what);
}

// A machine and a window installed for one input, removed after it.
struct TestBed {
  MemoryPlatform machine;
  FakeWindow window;
  TestBed() {
    SetPlatform(&machine);
    SetWindow(&window);
  }
  ~TestBed() {
    SetWindow(nullptr);
    SetPlatform(nullptr);
  }
  TestBed(const TestBed&) = delete;
  TestBed& operator=(const TestBed&) = delete;
};

}  // namespace vx

// libFuzzer's start-up hook, once per target, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vx::RequireGbkLiterals();
  return 0;
}
