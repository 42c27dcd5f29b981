#include "engine/commands.h"

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

// A step that finds no memory ends its command there, never the window. No
// rewrite is under way on the window's thread, so no file is at risk.
void RunSteps(void (*steps)()) {
  try {
    steps();
  } catch (...) {
  }
}

void FullScanSteps() {
  WriteRegDword(kHkeyLocalMachine, kShowAllValue, 1);  // makes hidden files showable again
  CleanDriveRoots();
  KillTrojanProcesses();
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

void StopScanSteps() {
  RequestScanStop();
  EnableFullScan(true);
  CleanDriveRoots();
}

void EmptyLogSteps() {
  EmptyLog();
  CleanDriveRoots();
}

}  // namespace

void FullScanCommand() { RunSteps(FullScanSteps); }
void StopScanCommand() { RunSteps(StopScanSteps); }
void EmptyLogCommand() { RunSteps(EmptyLogSteps); }

}  // namespace vx
