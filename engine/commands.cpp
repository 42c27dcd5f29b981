#include "engine/commands.h"

#include <cstddef>
#include <string>

#include "engine/drive_roots.h"
#include "engine/process_sweep.h"
#include "engine/scan_control.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "util/mini_reg.h"

namespace vx {

namespace {
const char kShowAllValue[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL\\CheckedValue";

// Each step catches its own failures: one that finds no memory is given up
// and the command goes on with its next step, never ending the window. No
// rewrite is under way on the window's thread, so no file is at risk.
void Step(void (*step)()) {
  try {
    step();
  } catch (...) {
  }
}

// The command's own guard stays behind the steps' guards, as a backstop.
template <std::size_t N>
void RunSteps(void (*const (&steps)[N])()) {
  try {
    for (auto step : steps) Step(step);
  } catch (...) {
  }
}

void ShowHiddenFilesAgain() { WriteRegDword(kHkeyLocalMachine, kShowAllValue, 1); }
void EndTrojanProcesses() { KillTrojanProcesses(); }

void StartScan() {
  // From here on panel 0 and the button belong to the new scan: a worker still
  // finishing an earlier one stays silent.
  SupersedeEarlierScan();
  SetStatusText(0, kPanelScanning);
  ScannedFiles = 0;
  CleanedFiles = 0;
  SetStatusText(2, std::string(kPanelCleanedPrefix) + "0");
  // Before the worker exists, so that its end report always comes after, even
  // when it has no drive to walk and ends at once.
  EnableFullScan(false);
  StartFullScan();
}

void StopScan() {
  RequestScanStop();
  EnableFullScan(true);
}

void (*const kFullScanSteps[])() = {ShowHiddenFilesAgain, CleanDriveRoots, EndTrojanProcesses, StartScan};
void (*const kStopScanSteps[])() = {StopScan, CleanDriveRoots};
void (*const kEmptyLogSteps[])() = {EmptyLog, CleanDriveRoots};

}  // namespace

void FullScanCommand() { RunSteps(kFullScanSteps); }
void StopScanCommand() { RunSteps(kStopScanSteps); }
void EmptyLogCommand() { RunSteps(kEmptyLogSteps); }

}  // namespace vx
