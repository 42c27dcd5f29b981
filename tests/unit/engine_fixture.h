// Installs a fresh in-memory machine and a recording window around each test,
// and puts the engine's shared state back as it is at program start.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/scan_control.h"
#include "engine/toolhelp_binding.h"
#include "engine/window_ops.h"
#include "testbed/memory_platform.h"
#include "tests/unit/fake_window.h"

namespace vx {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&machine);
    SetWindow(&window);
    ResetToolHelpBinding();
    ResetScanControl();
  }
  void TearDown() override {
    SetPlatform(&machine);
    ResetScanControl();
    ResetToolHelpBinding();
    SetWindow(nullptr);
    SetPlatform(nullptr);
  }

  // Runs one case of a loop on a machine and a window of its own, then puts
  // the test's own back.
  void OnFresh(const std::function<void(MemoryPlatform&, FakeWindow&)>& body) {
    MemoryPlatform m;
    FakeWindow w;
    SetPlatform(&m);
    SetWindow(&w);
    body(m, w);
    SetWindow(&window);
    SetPlatform(&machine);
  }
  // Lines of the log that contain text, in order.
  std::vector<std::string> LogWith(const std::string& text) {
    std::vector<std::string> found;
    for (const std::string& line : window.Log()) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }
  // Trace lines that start with prefix, in order.
  std::vector<std::string> TraceOf(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : machine.Trace()) {
      if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
  }

  MemoryPlatform machine;
  FakeWindow window;
};

}  // namespace vx
