// How one full scan runs beside the window:
//
//   UI thread                          worker thread
//   FullScanCommand
//     ... StartFullScan ───────────►   FullScanWorker
//                                        [waits for a stopping predecessor]
//                                        ListScanDrives, ScanTree per drive
//   StopScanCommand: RequestScanStop     (ScanTree sees ScanStopped after
//                                         its current entry and unwinds)
//                                        panel 0 "扫描完成!" / "扫描中止!",
//                                        EnableFullScan(true), ScanStopped
//
// A start that comes while a stopped worker is still finishing its current
// file does not walk beside it: the new worker first waits for the old one to
// end, on its own thread, so the window never freezes. The old worker then
// ends quietly, leaving the panel and the button to the new scan.
#include "engine/scan_control.h"

#include "engine/scan_tree.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace vx {

std::atomic<bool> ScanStopped{false};
std::atomic<std::int32_t> ScannedFiles{0};
std::atomic<std::int32_t> CleanedFiles{0};

namespace {

std::atomic<std::uint32_t> stopRequests{0};
std::atomic<std::uint32_t> generation{0};
Handle newestWorker = kNullHandle;  // touched on the UI thread only

struct WorkerStart {
  Handle predecessor;          // a worker still running at the start, or none
  std::uint32_t generation;    // this scan's number
  std::uint32_t stopRequests;  // stop requests seen when the scan was started
};

bool IsRunning(Handle thread) {
  return thread != kNullHandle && Sys().WaitForSingleObject(thread, 0) == kWaitTimeout;
}

// Runs on the new worker: lets the predecessor finish its current file and end,
// then takes the stop flag over, unless a stop was requested meanwhile.
void TakeOverFrom(const WorkerStart& start) {
  if (start.predecessor == kNullHandle) return;
  Sys().WaitForSingleObject(start.predecessor, kInfinite);
  Sys().CloseHandle(start.predecessor);
  ScanStopped = false;
  if (stopRequests.load() != start.stopRequests) ScanStopped = true;
}

void WalkDrives(const std::string& drives) {
  // Sleep(10) lasts a whole timer tick (about 15.6 ms) at the default timer
  // resolution; 1 ms resolution keeps each pause close to 10 ms.
  bool finerTimer = Sys().TimeBeginPeriod(1) == 0;
  for (std::size_t i = drives.size(); i > 0; --i) {
    std::string letter(1, drives[i - 1]);
    if (IsFloppyLetter(letter)) continue;
    ScanTree(letter + ":\\");
  }
  if (finerTimer) Sys().TimeEndPeriod(1);
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
  WorkerStart start = *static_cast<WorkerStart*>(param);
  delete static_cast<WorkerStart*>(param);
  TakeOverFrom(start);
  std::string drives = ListScanDrives();
  if (!ScanStopped) WalkDrives(drives);
  if (generation.load() == start.generation) {
    SetStatusText(0, ScanStopped ? kPanelStopped : kPanelFinished);
    EnableFullScan(true);
    ScanStopped = true;
  }
  return 0;
}

void StartFullScan() {
  Handle predecessor = newestWorker;
  if (predecessor != kNullHandle && !IsRunning(predecessor)) {
    Sys().CloseHandle(predecessor);
    predecessor = kNullHandle;
  }
  if (predecessor == kNullHandle) ScanStopped = false;
  auto* start = new WorkerStart{predecessor, ++generation, stopRequests.load()};
  std::uint32_t threadId = 0;
  Handle thread = Sys().CreateThread(FullScanWorker, start, &threadId);
  if (thread == kNullHandle) {
    delete start;
    --generation;  // the predecessor, if any, is still the scan that reports
    newestWorker = predecessor;
    return;
  }
  newestWorker = thread;
}

void RequestScanStop() {
  ++stopRequests;  // first, so a worker taking over cannot miss it
  ScanStopped = true;
}

Handle ScanWorkerHandle() { return newestWorker; }

bool ScanWorkerRunning() { return IsRunning(newestWorker); }

void ResetScanControl() {
  if (newestWorker != kNullHandle) {
    Sys().WaitForSingleObject(newestWorker, kInfinite);
    Sys().CloseHandle(newestWorker);
  }
  newestWorker = kNullHandle;
  ScanStopped = false;
  ScannedFiles = 0;
  CleanedFiles = 0;
}

}  // namespace vx
