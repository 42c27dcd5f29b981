// A window that records every operation the engine makes, for the tests.
#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/texts.h"
#include "engine/window_ops.h"

namespace vx {

class FakeWindow : public WindowOps {
 public:
  std::vector<std::string> log;       // lines of Memo1, after EmptyLog too
  std::vector<std::string> ops;       // every call: "log ...", "status 1 ...", "file ...", "pattern", "enable 1", "empty"
  std::string panels[3] = {kPanelIdle, kPanelScannedPrefix, kPanelCleanedPrefix};
  std::string currentFile;
  std::string pattern = kDefaultPattern;
  bool fullScanEnabled = true;
  std::function<void(const std::string& op)> onOp;  // runs after each recorded call

  void WindowLog(const std::string& line) override {
    Record("log " + line, [&] { log.push_back(line); });
  }
  void SetStatusText(int panel, const std::string& text) override {
    Record("status " + std::to_string(panel) + " " + text, [&] { panels[panel] = text; });
  }
  void ShowCurrentFile(const std::string& path) override {
    Record("file " + path, [&] { currentFile = path; });
  }
  std::string ReadPattern() override {
    std::string p;
    Record("pattern", [&] { p = pattern; });
    return p;
  }
  void EnableFullScan(bool enabled) override {
    Record(enabled ? "enable 1" : "enable 0", [&] { fullScanEnabled = enabled; });
  }
  void EmptyLog() override {
    Record("empty", [&] { log.clear(); });
  }

  std::vector<std::string> Ops() {
    std::lock_guard<std::mutex> lock(mu_);
    return ops;
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mu_);
    return log;
  }

 private:
  void Record(const std::string& op, const std::function<void()>& apply) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      apply();
      ops.push_back(op);
    }
    if (onOp) onOp(op);
  }
  std::mutex mu_;
};

}  // namespace vx
