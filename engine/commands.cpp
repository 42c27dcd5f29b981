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
}

void FullScanCommand() {
  WriteRegDword(kHkeyLocalMachine, kShowAllValue, 1);  // makes hidden files showable again
  CleanDriveRoots();
  KillTrojanProcesses();
  SetStatusText(0, kPanelScanning);
  ScannedFiles = 0;
  CleanedFiles = 0;
  SetStatusText(2, std::string(kPanelCleanedPrefix) + "0");
  StartFullScan();
  EnableFullScan(false);
}

void StopScanCommand() {
  RequestScanStop();
  EnableFullScan(true);
  CleanDriveRoots();
}

void EmptyLogCommand() {
  EmptyLog();
  CleanDriveRoots();
}

}  // namespace vx
