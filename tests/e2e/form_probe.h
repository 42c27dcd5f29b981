// What the end-to-end programs share: finding the running main window and its
// controls, reading their texts and the status panels from another process,
// and pressing the buttons. Texts are read through the wide messages and
// handled as UTF-8, whatever the system's code page.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/texts.h"

namespace e2e {

using vx::kCaption;
constexpr const char* kScanning = vx::kPanelScanning;
constexpr const char* kFinished = vx::kPanelFinished;
constexpr const char* kStopped = vx::kPanelStopped;
constexpr const char* kScannedPrefix = vx::kPanelScannedPrefix;
constexpr const char* kCleanedPrefix = vx::kPanelCleanedPrefix;

// The value after `name` on the command line, or `fallback`.
const char* Option(int argc, char** argv, const char* name, const char* fallback);

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

struct Form {
  HWND form = nullptr;
  HWND memo = nullptr, edit1 = nullptr, edit2 = nullptr;
  HWND button2 = nullptr, button3 = nullptr, button4 = nullptr;
  HWND status = nullptr, label1 = nullptr;
  HANDLE process = nullptr;  // the program's process, for reading its memory
};

// Asks `done` every stepMs until it holds (true) or timeoutMs has passed
// (false). Every wait of the end-to-end programs is one of these.
template <class Done>
bool WaitFor(DWORD timeoutMs, DWORD stepMs, Done done) {
  for (DWORD start = GetTickCount();; Sleep(stepMs)) {
    if (done()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
  }
}

// Waits up to timeoutMs for the window; form is null when it never showed.
Form FindForm(DWORD timeoutMs);

// Messages to the program's window are sent with a time limit, so a hung
// program fails a check instead of hanging the test; -1 when no answer came.
LRESULT Send(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT timeoutMs = 10000);
std::string WindowText(HWND w);
std::string PanelText(const Form& f, int index);
std::vector<int> PanelEdges(const Form& f);
// Count after the prefix in a panel; -1 when the panel shows no count.
long PanelCount(const std::string& text, const char* prefix);
bool Enabled(HWND w);
// A click reaches the button's own window procedure, as a mouse click would;
// the handler has run when the call returns. Button3Click sweeps processes on
// the user-interface thread, hence the long limit.
bool Click(HWND button);

struct Snapshot {
  std::string panel[3];
  std::string edit1;
  bool startEnabled = false;
  // The button read the same before and after the panels. The window changes
  // panel 0 and the button in one turn of its thread, but a look from outside
  // takes several messages: a look that straddles such a turn pairs the
  // panel of one state with the button of the other, and must not be judged.
  bool settled = true;
};
Snapshot Look(const Form& f);
// The same panels, Edit1 and button; `settled` is not compared.
bool Same(const Snapshot& a, const Snapshot& b);
std::string Panels(const Snapshot& s);  // "panel 0 | panel 1 | panel 2"
// Panel 0 shows an end text and "全盘杀毒" is enabled again.
bool Ended(const Snapshot& s);

// The log's lines, without their line ends.
std::vector<std::string> LogLines(const Form& f);

// How quickly the window answers while it works: WM_NULL round trips from a
// thread of their own, one every intervalMs while `when` holds (always when
// null). A round trip that takes slowMs or more, or gets no answer within
// limitMs, is slow.
class RoundTrips {
 public:
  struct Pace {
    DWORD intervalMs = 10, limitMs = 10000, slowMs = 2000;
    const std::atomic<bool>* when = nullptr;
  };
  RoundTrips(HWND window, Pace pace);
  ~RoundTrips() { Stop(); }
  RoundTrips(const RoundTrips&) = delete;
  RoundTrips& operator=(const RoundTrips&) = delete;

  void Stop();  // ends the thread; Ms() is complete from then on
  long Asked() const { return asked_; }
  long Slow() const { return slow_; }
  long Lost() const { return lost_; }  // no answer within limitMs
  long LongestMs() const { return longest_; }
  const std::vector<double>& Ms() const { return ms_; }  // every round trip, after Stop

 private:
  static DWORD WINAPI Loop(void* self);

  HWND window_;
  Pace pace_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<long> asked_{0}, slow_{0}, lost_{0}, longest_{0};
  std::vector<double> ms_;
};

}  // namespace e2e
