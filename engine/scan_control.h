// Scan control: the state one full scan shares between the window's thread and
// the scan worker, the choice of drives, and the worker itself.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vx {

extern std::atomic<bool> ScanStopped;
// Atomic because a stopping worker may still finish its current file while a
// new scan resets them on the window thread.
extern std::atomic<std::int32_t> ScannedFiles;  // advanced by the walker only
extern std::atomic<std::int32_t> CleanedFiles;  // advanced by the executable restorer only

std::string ListScanDrives();  // upper-case letters of drive types 2, 3 and 4, ascending
bool IsFloppyLetter(const std::string& letter);  // A or B, in any case

// Window thread, before the full-scan command's own window calls: from here on
// panel 0 and "全盘杀毒" belong to the scan that StartFullScan starts next. A
// worker of an earlier scan that still runs ends its walk and never reports.
// Calling it again before StartFullScan does nothing more.
void SupersedeEarlierScan();
void StartFullScan();  // supersedes an earlier scan itself when the caller has not
std::uint32_t VX_WINAPI FullScanWorker(void* param);

// The stop command's request. Besides setting ScanStopped it cancels a start
// that is still waiting for a stopping worker to finish.
void RequestScanStop();
// Tests only: the newest worker's thread handle, or kNullHandle when none was
// started, for a test to wait for the worker's end (the program never joins it).
Handle ScanWorkerHandle();
// True while a worker thread exists that has not returned.
bool ScanWorkerRunning();

// Waits at most `milliseconds` for the worker thread to end; true when it has.
using WorkerWait = bool (*)(Handle worker, std::uint32_t milliseconds);
// Window thread, when the program or the user's session is about to end: the
// walk is asked to stop and given walkWaitMs to unwind. After that no rewrite
// of a file begins any more, and one under way runs to its end however long
// it takes. On return the process may end without harm to any file. `wait`
// lets the window go on answering messages meanwhile (null: a plain wait).
void SettleScanForExit(std::uint32_t walkWaitMs, WorkerWait wait);

// Tests only: waits for the last worker, then forgets it, as at program start,
// so that each test begins where the program begins.
void ResetScanControl();

}  // namespace vx
