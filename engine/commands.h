// The three commands of the main window, as sequences of engine steps. The
// window's button handlers call these on the user-interface thread.
#pragma once

namespace vx {

void FullScanCommand();  // "全盘杀毒"
void StopScanCommand();  // "停止杀毒"
void EmptyLogCommand();  // "清空日志"

}  // namespace vx
