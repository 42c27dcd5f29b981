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
void StartFullScan();
std::uint32_t VX_WINAPI FullScanWorker(void* param);

// The stop command's request. Besides setting ScanStopped it cancels a start
// that is still waiting for a stopping worker to finish.
void RequestScanStop();
// The newest worker's thread handle, or kNullHandle when none was started.
Handle ScanWorkerHandle();
// True while a worker thread exists that has not returned.
bool ScanWorkerRunning();
// Forgets the last worker after it has ended, as at program start.
void ResetScanControl();

}  // namespace vx
