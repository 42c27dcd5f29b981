// How one full scan runs beside the window:
//
//   UI thread                          worker thread
//   FullScanCommand
//     ... SupersedeEarlierScan
//     panel 0, counters, panel 2,
//     EnableFullScan(false)
//     StartFullScan ──────────────►   FullScanWorker
//                                        [waits for a stopping predecessor]
//                                        ListScanDrives, counters to 0,
//                                        ScanTree per drive
//   StopScanCommand: RequestScanStop     (ScanTree sees ScanStopped after
//                                         its current entry and unwinds)
//                                        ReportEnd: panel 0 "扫描完成!" /
//                                        "扫描中止!", EnableFullScan(true),
//                                        ScanStopped
//
// Panel 0 and "全盘杀毒" have one owner per scan. The command sets them before
// the worker exists, so the worker's end report always lands after them, even
// when the walk ends at once. The worker reports only while its scan is still
// the newest: `voice` names the scan that may report, and the report claims
// it for its few window calls. A new command takes the voice over first,
// waiting out a report already being queued, so an earlier worker's report
// either lands before the new scan's own window calls or never comes.
//
// A start that comes while a stopped worker is still finishing its current
// file does not walk beside it: the new worker first waits for the old one to
// end, on its own thread, so the window never freezes. The counters of a scan
// start at 0 when its own walk starts, after the old worker has ended.
#include "engine/scan_control.h"

#include <memory>
#include <utility>

#include "util/handles.h"
#include "engine/native_file_view.h"
#include "engine/rewrite_guard.h"
#include "engine/scan_tree.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace vx {

std::atomic<bool> ScanStopped{false};
std::atomic<std::int32_t> ScannedFiles{0};
std::atomic<std::int32_t> CleanedFiles{0};

namespace {

constexpr std::uint32_t kReporting = 0x80000000u;  // in `voice`: the end report is being queued
constexpr std::uint32_t kRewritePollMs = 50;

std::atomic<std::uint32_t> voice{0};  // the scan that may report its end, maybe with kReporting
std::atomic<std::uint32_t> stopRequests{0};
std::uint32_t nextScan = 1;           // touched on the UI thread only

// The newest worker's thread, touched on the UI thread only. Never destroyed:
// at exit the system takes the handle back, and the platform may be gone.
ObjectHandle& NewestWorker() {
  static ObjectHandle* worker = new ObjectHandle();
  return *worker;
}

struct WorkerStart {
  ObjectHandle predecessor;    // a worker still running at the start, or none
  std::uint32_t scan;          // this scan's number
  std::uint32_t stopRequests;  // stop requests seen when the scan was started
};

bool IsRunning(const ObjectHandle& thread) {
  return thread.IsOpen() && Sys().WaitForSingleObject(thread.Get(), 0) == kWaitTimeout;
}

bool IsNewest(std::uint32_t scan) { return (voice.load() & ~kReporting) == scan; }

// Runs on the new worker: lets the predecessor finish its current file and end,
// then takes the stop flag over, unless a stop was requested meanwhile.
void TakeOverFrom(WorkerStart& start) {
  if (!start.predecessor.IsOpen()) return;
  Sys().WaitForSingleObject(start.predecessor.Get(), kInfinite);
  start.predecessor.Close();
  ScanStopped = false;
  if (stopRequests.load() != start.stopRequests) ScanStopped = true;
}

// The command set both counters to 0, but a predecessor may have finished a
// file since and shown its own count; the new scan shows its 0 again.
void StartCounters() {
  ScannedFiles = 0;
  if (CleanedFiles.exchange(0) != 0) SetStatusText(2, std::string(kPanelCleanedPrefix) + "0");
}

// Sleep(10) lasts a whole timer tick (about 15.6 ms) at the default timer
// resolution; 1 ms resolution keeps each pause close to 10 ms. It is given
// back however the walk ends.
struct FinerTimer {
  const bool granted = Sys().TimeBeginPeriod(1) == 0;
  ~FinerTimer() {
    if (granted) Sys().TimeEndPeriod(1);
  }
};

// A superseded worker hands no further drive to the walker: the newer scan
// walks them all itself. The walk sees every folder under its own name; the
// timer is set first, so that nothing is loaded once the view is native.
void WalkDrives(const std::string& drives, std::uint32_t scan) {
  FinerTimer timer;
  NativeFileView view;
  for (std::size_t i = drives.size(); i > 0 && IsNewest(scan); --i) {
    std::string letter(1, drives[i - 1]);
    if (IsFloppyLetter(letter)) continue;
    ScanTree(letter + ":\\");
  }
}

// The end of the scan in panel 0 and "全盘杀毒", from the newest scan only. A
// walk that did not complete ended as a stopped one.
void ReportEnd(std::uint32_t scan, bool completed) {
  std::uint32_t expected = scan;
  if (!voice.compare_exchange_strong(expected, scan | kReporting)) return;
  try {
    SetStatusText(0, ScanStopped || !completed ? kPanelStopped : kPanelFinished);
    EnableFullScan(true);
  } catch (...) {  // a window failure: the claim must be given back all the same
  }
  ScanStopped = true;
  voice.store(scan);
}

bool WaitOnPlatform(Handle worker, std::uint32_t milliseconds) {
  return Sys().WaitForSingleObject(worker, milliseconds) == kWaitObject0;
}

}  // namespace

// Drives A: and B: are never touched, whatever their type: the test ignores
// case, so it holds for any letter text a caller passes.
bool IsFloppyLetter(const std::string& letter) {
  std::string upper = UpperCaseText(letter);
  return upper.find(UpperCaseText("a")) != std::string::npos ||
         upper.find(UpperCaseText("b")) != std::string::npos;
}

std::string ListScanDrives() {
  std::string list;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string root = std::string(1, letter) + ":\\";
    std::uint32_t type = Sys().GetDriveTypeA(root.c_str());
    if (type == kDriveRemovable || type == kDriveFixed || type == kDriveRemote) list += letter;
  }
  return list;
}

std::uint32_t VX_WINAPI FullScanWorker(void* param) {
  std::unique_ptr<WorkerStart> owned(static_cast<WorkerStart*>(param));
  WorkerStart& start = *owned;
  bool completed = false;
  try {
    TakeOverFrom(start);
    std::string drives = ListScanDrives();
    if (IsNewest(start.scan)) {
      StartCounters();
      if (!ScanStopped) WalkDrives(drives, start.scan);
    }
    completed = true;
  } catch (...) {
    // No memory outside the walker's own guard (the drive list, a count): an
    // exception must not end the process with the window. No rewrite is
    // under way here.
  }
  ReportEnd(start.scan, completed);
  return 0;
}

void SupersedeEarlierScan() {
  std::uint32_t current = voice.load();
  while (current != nextScan) {
    // A report being queued is left to finish: its calls then come before the
    // new scan's own. It lasts two window calls.
    if (current & kReporting) {
      current = voice.load();
      continue;
    }
    if (voice.compare_exchange_weak(current, nextScan)) break;
  }
  if (IsRunning(NewestWorker())) ScanStopped = true;  // its walk ends; the new worker takes the flag over
}

void StartFullScan() {
  SupersedeEarlierScan();
  ObjectHandle& newest = NewestWorker();
  if (!IsRunning(newest)) newest.Close();
  if (!newest.IsOpen()) ScanStopped = false;
  auto start = std::unique_ptr<WorkerStart>(new WorkerStart{std::move(newest), nextScan, stopRequests.load()});
  std::uint32_t threadId = 0;
  ObjectHandle thread(Sys().CreateThread(FullScanWorker, start.get(), &threadId));
  if (!thread.IsOpen()) {
    // Nothing is reported. The voice stays with this scan number, which no
    // worker holds, so the predecessor stays silent too.
    newest = std::move(start->predecessor);
    return;
  }
  start.release();  // the worker owns it now
  ++nextScan;
  newest = std::move(thread);
}

void RequestScanStop() {
  ++stopRequests;  // first, so a worker taking over cannot miss it
  ScanStopped = true;
}

Handle ScanWorkerHandle() { return NewestWorker().Get(); }

bool ScanWorkerRunning() { return IsRunning(NewestWorker()); }

// The newest worker waits for its predecessor before it ends, so its end
// means every worker has ended. Rewrites are counted wherever they run.
void SettleScanForExit(std::uint32_t walkWaitMs, WorkerWait wait) {
  if (wait == nullptr) wait = WaitOnPlatform;
  const ObjectHandle& worker = NewestWorker();
  if (!IsRunning(worker)) return;
  RequestScanStop();
  if (wait(worker.Get(), walkWaitMs)) return;
  HoldBackRewrites();
  while (RewritesUnderWay() > 0 && !wait(worker.Get(), kRewritePollMs)) {
  }
}

void ResetScanControl() {
  AllowRewrites();
  ObjectHandle& newest = NewestWorker();
  if (newest.IsOpen()) Sys().WaitForSingleObject(newest.Get(), kInfinite);
  newest.Close();
  voice = 0;
  nextScan = 1;
  ScanStopped = false;
  ScannedFiles = 0;
  CleanedFiles = 0;
}

}  // namespace vx
