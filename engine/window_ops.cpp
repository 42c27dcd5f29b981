#include "engine/window_ops.h"

namespace vx {
namespace {
WindowOps* window = nullptr;
}

void SetWindow(WindowOps* w) { window = w; }
void WindowLog(const std::string& line) { window->WindowLog(line); }
void SetStatusText(int panel, const std::string& text) { window->SetStatusText(panel, text); }
void ShowCurrentFile(const std::string& path) { window->ShowCurrentFile(path); }
std::string ReadPattern() { return window->ReadPattern(); }
void EnableFullScan(bool enabled) { window->EnableFullScan(enabled); }
void EmptyLog() { window->EmptyLog(); }

}  // namespace vx
