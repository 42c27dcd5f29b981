// What every fuzz target shares: a fresh in-memory machine and recording
// window per input. The text literals are UTF-8 bytes in every build, so the
// fuzzers compile the product's sources as they are.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/window_ops.h"
#include "testbed/memory_platform.h"
#include "tests/unit/fake_window.h"

namespace vx {

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
