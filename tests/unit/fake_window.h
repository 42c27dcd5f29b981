// A window that records every operation the engine makes, for the tests.
//
// By default every call acts at once, on whatever thread makes it. After
// QueueCallsFromOtherThreads() it behaves as the real window does: calls made
// on other threads than the window's wait in a queue, in call order, until
// Pump() (the message loop) or the window thread's next own call carries them
// out; a call of the window thread first carries out every queued call.
#pragma once
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/pattern_field.h"
#include "engine/texts.h"
#include "engine/window_ops.h"

namespace vx {

// Edit2 as the product keeps it. An assignment is an edit the user has
// finished; Edited() alone is a keystroke that the cleaner must not see yet.
class FakePatternField : public PatternField {
 public:
  using PatternField::PatternField;
  FakePatternField& operator=(const std::string& text) {
    Edited(text);
    Settle();
    return *this;
  }
  operator std::string() const { return Settled(); }
};

class FakeWindow : public WindowOps {
 public:
  std::vector<std::string> log;       // lines of Memo1, after EmptyLog too
  std::vector<std::string> ops;       // every call as carried out: "log ...", "status 1 ...", "file ...", "pattern", "enable 1", "empty"
  std::string panels[3] = {kPanelIdle, kPanelScannedPrefix, kPanelCleanedPrefix};
  std::string currentFile;
  FakePatternField pattern{kDefaultPattern};
  bool fullScanEnabled = true;
  std::function<void(const std::string& op)> onOp;  // runs on the calling thread after each call
  // Queued mode: runs on the window thread before its own call carries out the queue.
  std::function<void(const std::string& op)> beforeWindowThreadOp;

  void WindowLog(const std::string& line) override {
    Record("log " + line, [this, line] { log.push_back(line); });
  }
  void SetStatusText(int panel, const std::string& text) override {
    Record("status " + std::to_string(panel) + " " + text, [this, panel, text] { panels[panel] = text; });
  }
  void ShowCurrentFile(const std::string& path) override {
    Record("file " + path, [this, path] { currentFile = path; });
  }
  // Answered at once from any thread, as the real window does.
  std::string ReadPattern() override {
    std::string p = pattern;
    {
      std::lock_guard<std::mutex> lock(mu_);
      ops.push_back("pattern");
    }
    if (onOp) onOp("pattern");
    return p;
  }
  void EnableFullScan(bool enabled) override {
    Record(enabled ? "enable 1" : "enable 0", [this, enabled] { fullScanEnabled = enabled; });
  }
  void EmptyLog() override {
    Record("empty", [this] { log.clear(); });
  }

  // The calling thread becomes the window thread.
  void QueueCallsFromOtherThreads() {
    std::lock_guard<std::mutex> lock(mu_);
    windowThread_ = std::this_thread::get_id();
    queued_ = true;
  }
  // The message loop: carries out every queued call.
  void Pump() {
    std::lock_guard<std::mutex> lock(mu_);
    DrainLocked();
  }

  std::vector<std::string> Ops() {
    std::lock_guard<std::mutex> lock(mu_);
    return ops;
  }
  // The calls carried out that start with one of the prefixes, in order.
  std::vector<std::string> OpsStarting(std::initializer_list<const char*> prefixes) {
    std::vector<std::string> found;
    for (const std::string& op : Ops()) {
      for (const char* prefix : prefixes) {
        if (op.rfind(prefix, 0) == 0) found.push_back(op);
      }
    }
    return found;
  }
  // The paths shown in Edit1, in order.
  std::vector<std::string> Shown() {
    std::vector<std::string> shown;
    for (const std::string& op : OpsStarting({"file "})) shown.push_back(op.substr(5));
    return shown;
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mu_);
    return log;
  }
  // Queued mode: the state the user sees, read on the window thread.
  bool FullScanEnabled() {
    std::lock_guard<std::mutex> lock(mu_);
    return fullScanEnabled;
  }
  std::string Panel(int index) {
    std::lock_guard<std::mutex> lock(mu_);
    return panels[index];
  }

 private:
  struct Call {
    std::string op;
    std::function<void()> apply;
  };

  void Record(const std::string& op, std::function<void()> apply) {
    bool queued, fromWindowThread;
    {
      std::lock_guard<std::mutex> lock(mu_);
      queued = queued_;
      fromWindowThread = !queued_ || std::this_thread::get_id() == windowThread_;
    }
    if (queued && fromWindowThread && beforeWindowThreadOp) beforeWindowThreadOp(op);
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (fromWindowThread) {
        DrainLocked();
        apply();
        ops.push_back(op);
      } else {
        queue_.push_back({op, std::move(apply)});
      }
    }
    if (onOp) onOp(op);
  }

  void DrainLocked() {
    for (Call& call : queue_) {
      call.apply();
      ops.push_back(call.op);
    }
    queue_.clear();
  }

  std::mutex mu_;
  bool queued_ = false;
  std::thread::id windowThread_;
  std::deque<Call> queue_;
};

}  // namespace vx
