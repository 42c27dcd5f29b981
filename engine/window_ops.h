// The window operations: the only way the engine reaches the main window.
// The real window (TForm1) carries calls made on the scan worker over to the
// user-interface thread in call order; tests install a recording fake.
#pragma once
#include <string>

namespace vx {

class WindowOps {
 public:
  virtual ~WindowOps() = default;
  virtual void WindowLog(const std::string& line) = 0;
  virtual void SetStatusText(int panel, const std::string& text) = 0;
  virtual void ShowCurrentFile(const std::string& path) = 0;
  virtual std::string ReadPattern() = 0;
  virtual void EnableFullScan(bool enabled) = 0;
  virtual void EmptyLog() = 0;
};

void SetWindow(WindowOps* window);

// Forwarders to the installed window, so engine code reads like the commands.
void WindowLog(const std::string& line);
void SetStatusText(int panel, const std::string& text);
void ShowCurrentFile(const std::string& path);
std::string ReadPattern();
void EnableFullScan(bool enabled);
void EmptyLog();

}  // namespace vx
