// The words the tool shows: the window's caption, the pattern field's first
// text, the status panels and the log lines. Each is written here once, for
// the program, the sample generator and the tests alike. Plain literals, UTF-8
// bytes like all the engine's text; the window turns them into UTF-16.
#pragma once

namespace vx {

constexpr char kCaption[] = "青岚铃鹊 清除程序 - 专杀工具 可杀所有已知变种";
// The hidden application window's title, the one the taskbar shows.
constexpr char kApplicationTitle[] = "清除程序 - Vuxor";

// The injected-frame pattern the pattern field starts with. The host is a
// reserved name (.invalid) so the default can never point at anybody's real
// server; the user types the host seen in infected pages before scanning.
constexpr char kDefaultPattern[] = "<iframe src=http://example.invalid/worm.htm width=0 height=0></iframe>";

// Log lines: a path or a process image name, and what befell it.
constexpr char kRestoredLog[] = "还原成功!";          // after an executable's path, no space
constexpr char kPageCleanedLog[] = " 网页还原成功!";  // after a web page's path
constexpr char kDeletedLog[] = " 删除成功!";          // after a deleted file's path or name
constexpr char kProcessListedLog[] = "扫描进程:";     // before every running image's name
constexpr char kTrojanEndedLog[] = "关闭木马进程:";   // before the name of a worm process ended

// Status bar: panel 0 the scan's state, panel 1 the files examined, panel 2
// the executables restored; the counts follow the prefixes.
constexpr char kPanelIdle[] = "扫描状态";
constexpr char kPanelScanning[] = "正在扫描,请等待!";
constexpr char kPanelFinished[] = "扫描完成!";
constexpr char kPanelStopped[] = "扫描中止!";
constexpr char kPanelScannedPrefix[] = "扫描文件数:";
constexpr char kPanelCleanedPrefix[] = "已清除文件数:";

}  // namespace vx
