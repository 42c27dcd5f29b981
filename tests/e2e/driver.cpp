// e2e_driver: works the running main window the way a user would, from a
// second process, and reports what it sees. It finds the window by its
// caption, clicks the buttons, waits for the scan to end, and reads the log,
// the two edits and the three status panels. Every check prints one line,
// "PASS name" or "FAIL name: detail"; the exit code is the number of failures
// (capped), so scripts can count the lines and still stop on a broken driver.
//
// Texts are read and compared as UTF-8; the options given to it are ASCII.
//
//   e2e_driver wait-window [--timeout S]
//   e2e_driver layout [--dpi N]     (the screen's scale; the table is at 96)
//   e2e_driver scan [--timeout S] [--log FILE]
//   e2e_driver stop-during-scan --after-files N [--expect-files M] [--timeout S] [--log FILE]
//   e2e_driver stop [--log FILE]
//   e2e_driver start-after-stop --after-files N [--at-file TEXT] --expect-files M [--timeout S] [--log FILE]
//   e2e_driver clear-log [--log FILE]
//   e2e_driver dump [--log FILE]
//   e2e_driver set-pattern TEXT
//   e2e_driver close
//   e2e_driver type-pattern-during-scan TEXT [--folder PART] [--timeout S]
//   e2e_driver hold-rewrite-and-close [--timeout S]     (against VuxorHeldDisk.exe)
//   e2e_driver release-held-rewrite [--timeout S]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "tests/e2e/form_probe.h"

namespace {

using namespace e2e;

int failures = 0;
int dpi = 96;                // of the window checked by `layout`

// A 96-dpi length of the layout at the window's scale, and whether `got` is
// that within a pixel (exactly, at 96 dpi).
int S(int at96) { return (at96 * dpi + 48) / 96; }
bool Near(long got, int at96) { return std::abs(got * 96 - at96 * dpi) <= (dpi == 96 ? 0 : 96); }

// The condition is worked out before the call: the order in which a call's
// arguments are evaluated is the compiler's, and a detail read before a wait
// would show the window as it was before it.
void Check(bool ok, const std::string& name, const std::string& detail = "") {
  if (ok) {
    std::printf("PASS %s\n", name.c_str());
  } else {
    ++failures;
    std::printf("FAIL %s: %s\n", name.c_str(), detail.c_str());
  }
  std::fflush(stdout);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Describe(const RECT& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "left %ld top %ld width %ld height %ld", r.left, r.top,
                r.right - r.left, r.bottom - r.top);
  return buf;
}

// --- actions -----------------------------------------------------------

// Polls until the scan has ended (panel 0 shows an end text and "全盘杀毒"
// is enabled again) or the time is up; `end` is the last look.
bool WaitForEnd(const Form& f, DWORD timeoutMs, Snapshot* end) {
  return WaitFor(timeoutMs, 50, [&] { return Ended(*end = Look(f)); });
}

// Polls until panel 1 counts at least `files` in the new walk, whose first
// file replaces the count `old` that the previous walk left, and then until
// Edit1 shows a path that contains `atFile`; false when the time is up.
bool WaitForWalk(const Form& f, const std::string& old, long files, const char* atFile, DWORD timeoutMs) {
  auto counted = [&] {
    std::string text = PanelText(f, 1);
    return text != old && PanelCount(text, kScannedPrefix) >= files;
  };
  return WaitFor(timeoutMs, 20, counted) &&
         WaitFor(timeoutMs, 5, [&] { return WindowText(f.edit1).find(atFile) != std::string::npos; });
}

void WriteLog(const Form& f, const char* path) {
  if (!path) return;
  std::string text;
  for (const std::string& line : LogLines(f)) text += line + "\n";  // one line per line, for diff
  FILE* out = std::fopen(path, "wb");
  if (!out) return Check(false, "write log", std::string("cannot open ") + path);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

void PrintState(const Form& f) {
  Snapshot s = Look(f);
  for (int i = 0; i < 3; ++i) std::printf("panel%d=%s\n", i, s.panel[i].c_str());
  std::printf("edit1=%s\n", s.edit1.c_str());
  std::printf("edit2=%s\n", WindowText(f.edit2).c_str());
  std::printf("button3=%s\n", s.startEnabled ? "enabled" : "disabled");
  std::fflush(stdout);
}

// Holds still for a while after the end: a walk that still runs would move
// panel 1 or Edit1, a late worker would change panel 0 or "全盘杀毒". Then
// writes the log and prints the state for the script.
void Settle(const Form& f, const Snapshot& end, const std::string& name, const char* log) {
  Sleep(2000);
  Snapshot later = Look(f);
  Check(Same(later, end), name + ": nothing changes after the end",
        "panels " + Panels(later) + ", Edit1 " + later.edit1);
  WriteLog(f, log);
  PrintState(f);
}

// Presses "全盘杀毒" and checks the window's immediate answer: the scan runs,
// panel 2 starts from 0, panel 1 keeps the last count until the walk's first
// file (which lies a few paced entries deep on every drive of the tests); on a
// busy machine the walk may reach that file before the look, so a count of the
// new walk (1 or more) passes too, a count put back to 0 does not.
// Returns panel 1 as it was, or "" when the press failed.
std::string StartScan(const Form& f, const std::string& name) {
  if (!Enabled(f.button3)) {
    Check(false, name + ": 全盘杀毒 can be pressed", "the button is disabled");
    return "";
  }
  std::string oldCount = PanelText(f, 1);
  bool clicked = Click(f.button3);
  Snapshot s = Look(f);
  Check(clicked && s.panel[0] == kScanning && !s.startEnabled && s.panel[2] == "已清除文件数:0" &&
            (s.panel[1] == oldCount || PanelCount(s.panel[1], kScannedPrefix) > 0),
        name + ": pressing 全盘杀毒 shows the scan running",
        "panels " + Panels(s) + (s.startEnabled ? ", 全盘杀毒 still enabled" : ""));
  return clicked ? oldCount : "";
}

// StartScan, then waits for the walk (see WaitForWalk) and checks that it got
// there, as "NAME: GOING". Returns what StartScan returns.
std::string StartWalk(const Form& f, const std::string& name, const char* going, long afterFiles,
                      const char* atFile, DWORD timeoutMs) {
  std::string oldCount = StartScan(f, name);
  if (oldCount.empty()) return "";
  const bool got = WaitForWalk(f, oldCount, afterFiles, atFile, timeoutMs);
  Check(got, name + ": " + going, "panel 1 " + PanelText(f, 1) + ", Edit1 " + WindowText(f.edit1));
  return oldCount;
}

// --- commands ----------------------------------------------------------

// Counts pixels of the screen area of one client rectangle that pass `test`;
// with a `source`, of that device context's area at left, top instead.
template <class Test>
int CountPixels(HWND form, int left, int top, int width, int height, Test test, HDC source = nullptr) {
  POINT origin{left, top};
  if (!source) ClientToScreen(form, &origin);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, width, height, source ? source : screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  int count = 0;
  const DWORD* px = (const DWORD*)bits;
  for (int i = 0; i < width * height; ++i) count += test(px[i] & 0xFFFFFF);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return count;
}

// The height of a text's ink: the rows from the first to the last with a
// pixel that passes `test`.
template <class Test>
int InkRows(HWND form, int left, int top, int width, int height, Test test, HDC source = nullptr) {
  int first = -1, last = -2;
  for (int row = 0; row < height; ++row) {
    if (CountPixels(form, left, top + row, width, 1, test, source) == 0) continue;
    last = row;
    if (first < 0) first = row;
  }
  return last - first + 1;
}

// The same for `text` drawn here in `colour` on white, in the window's
// typeface at `pixels` per em.
template <class Test>
int RenderedInkRows(const char* text, int pixels, COLORREF colour, Test test) {
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBmp = SelectObject(mem, CreateBitmap(2000, 100, 1, 32, nullptr));
  HGDIOBJ oldFont = SelectObject(mem, CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                                  0, 0, DEFAULT_QUALITY, 0, L"宋体"));
  PatBlt(mem, 0, 0, 2000, 100, WHITENESS);
  SetTextColor(mem, colour);
  const std::wstring wide = e2e::Wide(text);
  TextOutW(mem, 0, 0, wide.c_str(), static_cast<int>(wide.size()));
  int rows = InkRows(nullptr, 0, 0, 2000, 100, test, mem);
  DeleteObject(SelectObject(mem, oldFont));
  DeleteObject(SelectObject(mem, oldBmp));
  DeleteDC(mem);
  return rows;
}

// Each control's class and its rectangle in the form's client coordinates.
void CheckPlaces(const Form& f) {
  const struct { HWND w; const char* name; const char* cls; int left, top, width, height; } controls[] = {
      {f.memo, "Memo1", "Edit", 0, 21, 521, 236},         {f.button2, "Button2", "Button", 615, 199, 75, 25},
      {f.button3, "Button3", "Button", 536, 199, 75, 25}, {f.status, "StatusBar1", STATUSCLASSNAMEA, 0, 294, 696, 19},
      {f.button4, "Button4", "Button", 536, 231, 153, 25}, {f.edit1, "Edit1", "Edit", 0, 0, 521, 18},
      {f.edit2, "Edit2", "Edit", 112, 267, 569, 20},      {f.label1, "Label1", "Static", 8, 272, 102, 12}};
  for (const auto& c : controls) {
    if (!c.w) {
      Check(false, std::string(c.name) + " exists", "no child window with its ID");
      continue;
    }
    RECT r{}, want{S(c.left), S(c.top), S(c.left) + S(c.width), S(c.top) + S(c.height)};
    GetWindowRect(c.w, &r);
    MapWindowPoints(HWND_DESKTOP, f.form, (POINT*)&r, 2);
    char cls[64] = "";
    GetClassNameA(c.w, cls, sizeof cls);
    const bool placed = Near(r.left, c.left) && Near(r.top, c.top) && Near(r.right - r.left, c.width) &&
                        Near(r.bottom - r.top, c.height);
    Check(lstrcmpiA(cls, c.cls) == 0 && placed, std::string(c.name) + " class and place",
          std::string("class ") + cls + ", " + Describe(r) + ", want " + c.cls + " " + Describe(want));
  }
}

void Layout(const Form& f) {
  RECT client{};
  GetClientRect(f.form, &client);
  Check(Near(client.right, 696) && Near(client.bottom, 313), "client area is 696 x 313", Describe(client));

  LONG style = GetWindowLongA(f.form, GWL_STYLE);
  Check((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX) &&
            !(style & WS_THICKFRAME),
        "system menu and minimize only, fixed border", "style bits wrong");

  RECT frame{};
  GetWindowRect(f.form, &frame);
  int dx = (frame.left + frame.right) - GetSystemMetrics(SM_CXSCREEN);
  int dy = (frame.top + frame.bottom) - GetSystemMetrics(SM_CYSCREEN);
  Check(std::abs(dx) <= 2 && std::abs(dy) <= 2, "window is centred on the desktop",
        "window " + Describe(frame));

  CheckPlaces(f);

  LONG memo = GetWindowLongA(f.memo, GWL_STYLE);
  Check((memo & ES_MULTILINE) && (memo & ES_READONLY) && (memo & WS_VSCROLL),
        "Memo1 is multi-line, read-only, with a vertical scroll bar", "style bits wrong");
  size_t lines = LogLines(f).size();
  Check(lines == 27, "Memo1 starts with the 27-line notice", std::to_string(lines) + " lines");

  Check(WindowText(f.edit1).empty() &&
            !(GetWindowLongA(f.edit1, GWL_EXSTYLE) & WS_EX_CLIENTEDGE),
        "Edit1 starts empty, with a flat border", Quoted(WindowText(f.edit1)));

  std::string pattern = WindowText(f.edit2);
  const std::string head = "<iframe src=http://", tail = "/worm.htm width=0 height=0></iframe>";
  bool shaped = pattern.size() > head.size() + tail.size() && pattern.compare(0, head.size(), head) == 0 &&
                pattern.compare(pattern.size() - tail.size(), tail.size(), tail) == 0;
  std::string host = shaped ? pattern.substr(head.size(), pattern.size() - head.size() - tail.size()) : "";
  Check(shaped && host.find_first_of(" /<>\"'") == std::string::npos,
        "Edit2 holds the default frame pattern", Quoted(pattern));

  const HWND application = GetWindow(f.form, GW_OWNER);
  Check(WindowText(f.button2) == "停止杀毒" && WindowText(f.button3) == "全盘杀毒" &&
            WindowText(f.button4) == "清空日志" && WindowText(f.label1) == "清除网页中的代码:" &&
            WindowText(application) == vx::kApplicationTitle,
        "button, label and taskbar texts",
        WindowText(f.button2) + " | " + WindowText(f.button3) + " | " + WindowText(f.button4) +
            " | " + WindowText(f.label1) + " | " + WindowText(application));
  Check(Enabled(f.button2) && Enabled(f.button3) && Enabled(f.button4), "all three buttons enabled",
        "a button is disabled");

  Snapshot s = Look(f);
  Check(s.panel[0] == vx::kPanelIdle && s.panel[1] == kScannedPrefix && s.panel[2] == kCleanedPrefix,
        "status panel texts", Panels(s));
  std::vector<int> edges = PanelEdges(f);
  bool widths = edges.size() == 3 && Near(edges[0], 100) && Near(edges[1], 300) &&
                (Near(edges[2], 350) || edges[2] == -1);
  std::string got;
  for (int e : edges) got += std::to_string(e) + " ";
  Check(widths, "status panels 100, 200, 50 wide", "right edges " + got);

  // The title is painted red over a dark shadow; the picture is a photo.
  auto red = [](DWORD c) { return c == 0xFF0000; };
  auto dark = [](DWORD c) { return (c & 0xFF) < 0x40 && ((c >> 8) & 0xFF) < 0x40 && ((c >> 16) & 0xFF) < 0x40; };
  int redPixels = CountPixels(f.form, S(561), S(172), S(97), S(17), red);
  int darkPixels = CountPixels(f.form, S(561), S(172), S(97), S(17), dark);
  Check(redPixels >= 40 && darkPixels >= 10, "red title with a dark shadow is painted",
        std::to_string(redPixels) + " red, " + std::to_string(darkPixels) + " dark pixels");
  std::set<DWORD> colours;
  CountPixels(f.form, S(528), S(5), S(156), S(156), [&](DWORD c) { colours.insert(c); return 0; });
  Check(colours.size() >= 32, "the picture is painted", std::to_string(colours.size()) + " colours");

  // Both fonts at the scale: the ink of the title (16 pixels at 96 dpi) and of
  // the pattern in Edit2 (12) is as tall as the same text drawn here at that size.
  RECT field{};
  GetClientRect(f.edit2, &field);
  const int inks[] = {InkRows(f.form, S(561), S(172), S(97), S(17), red),
                      RenderedInkRows("青岚铃鹊专杀", S(16), 0xFF, red),
                      InkRows(f.edit2, 0, 0, field.right, field.bottom, dark), RenderedInkRows(pattern.c_str(), S(12), 0, dark)};
  Check(std::abs(inks[0] - inks[1]) <= 1 && std::abs(inks[2] - inks[3]) <= 1, "fonts are 16 and 12 pixels",
        "ink rows: title " + std::to_string(inks[0]) + ", want " + std::to_string(inks[1]) + "; Edit2 " +
            std::to_string(inks[2]) + ", want " + std::to_string(inks[3]));
}

void Scan(const Form& f, DWORD timeoutMs, const char* log) {
  if (StartScan(f, "scan").empty()) return;
  Snapshot end;
  bool ended = WaitForEnd(f, timeoutMs, &end);
  Check(ended && end.panel[0] == kFinished, "scan ends with 扫描完成! and 全盘杀毒 enabled",
        "panel 0 " + Quoted(end.panel[0]) + (end.startEnabled ? "" : ", 全盘杀毒 disabled"));
  Check(PanelCount(end.panel[1], kScannedPrefix) > 0 && end.edit1.size() > 3,
        "scan counts files and shows the last one", end.panel[1] + " | " + end.edit1);
  Settle(f, end, "scan", log);
}

// A stop while the walk runs: the walk unwinds at once and reports "扫描中止!"
// having examined fewer files than a whole walk does.
void StopDuringScan(const Form& f, long afterFiles, long wholeWalk, DWORD timeoutMs, const char* log) {
  std::string oldCount = StartWalk(f, "stop", "the walk gets going", afterFiles, "", timeoutMs);
  if (oldCount.empty()) return;
  // "清空日志" empties the log (this scan's process lines too) but does not
  // stop the scan.
  bool listed = WindowText(f.memo).find("扫描进程:") != std::string::npos;
  Click(f.button4);
  std::string cleared = WindowText(f.memo);
  Check(listed && cleared.find("扫描进程:") == std::string::npos && !Enabled(f.button3) &&
            PanelText(f, 0) == kScanning,
        "清空日志 during a scan empties the log", Quoted(cleared.substr(0, 80)) + ", panel 0 " + PanelText(f, 0));
  const bool goesOn = WaitForWalk(f, oldCount, afterFiles + 20, "", timeoutMs) && PanelText(f, 0) == kScanning;
  Check(goesOn, "清空日志 during a scan: the walk goes on", "panel 1 " + PanelText(f, 1));
  bool clicked = Click(f.button2);
  DWORD pressed = GetTickCount();
  Check(clicked && Enabled(f.button3), "stop: 停止杀毒 enables 全盘杀毒 at once", "still disabled");
  Snapshot end;
  bool ended = WaitForEnd(f, 10000, &end);
  DWORD took = GetTickCount() - pressed;
  Check(ended && end.panel[0] == kStopped && took < 5000, "stop: the walk ends soon with 扫描中止!",
        "panel 0 " + Quoted(end.panel[0]) + " after " + std::to_string(took) + " ms");
  long counted = PanelCount(end.panel[1], kScannedPrefix);
  Check(counted >= afterFiles && (wholeWalk < 0 || counted < wholeWalk),
        "stop: the walk ended part way", std::to_string(counted) + " files examined");
  Settle(f, end, "stop", log);
}

// "停止杀毒" and "全盘杀毒" pressed back to back, before the stopped walk has
// unwound. Exactly one walk may go on: the old worker must not come back to
// life beside the new one, nor report its end in the middle of the new walk.
void StartAfterStop(const Form& f, long afterFiles, const char* atFile, long expectFiles,
                    DWORD timeoutMs, const char* log) {
  if (StartWalk(f, "restart", "the first walk gets going", afterFiles, atFile, timeoutMs).empty()) return;
  // One click right after the other, with no pause for the first walk to
  // unwind. Both are sent, not posted: between two posted clicks the window
  // answers this driver's pending looks, which would see the stop's enabled
  // 全盘杀毒 beside the old walk's 正在扫描 and take it for the new walk.
  Click(f.button2);
  Click(f.button3);

  // Follow the window until the end: once the new walk shows "正在扫描", the
  // status must stay so and "全盘杀毒" disabled until the one end.
  bool newWalkSeen = false;
  std::string broken;
  Snapshot s;
  WaitFor(timeoutMs, 20, [&] {
    s = Look(f);
    newWalkSeen = newWalkSeen || s.panel[0] == kScanning;
    if (newWalkSeen && s.settled && s.startEnabled && !Ended(s) && broken.empty())
      broken = "全盘杀毒 enabled while panel 0 shows " + Quoted(s.panel[0]);
    return newWalkSeen && Ended(s);
  });
  Check(newWalkSeen && Ended(s) && s.panel[0] == kFinished && broken.empty(),
        "restart: one new walk runs to 扫描完成!",
        !broken.empty() ? broken : "panel 0 " + Quoted(s.panel[0]) + (newWalkSeen ? "" : ", no new walk seen"));
  long counted = PanelCount(s.panel[1], kScannedPrefix);
  Check(counted == expectFiles, "restart: the new walk counts each file once",
        std::to_string(counted) + " files, a single walk counts " + std::to_string(expectFiles));
  Settle(f, s, "restart", log);
}

// "停止杀毒" or "清空日志" pressed while no scan runs: "全盘杀毒" stays
// enabled, panel 0 unchanged.
void PressWhileIdle(const Form& f, HWND button, const char* name, const char* log) {
  Snapshot before = Look(f);
  bool clicked = Click(button);
  Snapshot after = Look(f);
  Check(clicked && after.startEnabled && after.panel[0] == before.panel[0], name,
        "panel 0 " + Quoted(after.panel[0]) + (clicked ? "" : ", no answer"));
  WriteLog(f, log);
}

// Types a new pattern into Edit2, as a user who saw another frame would.
void SetPattern(const Form& f, const char* pattern) {
  Send(f.edit2, WM_SETTEXT, 0, (LPARAM)Wide(pattern).c_str());
  Check(WindowText(f.edit2) == pattern, "Edit2 takes a pattern typed in", Quoted(WindowText(f.edit2)));
}

void Close(const Form& f) {
  PostMessageW(f.form, WM_CLOSE, 0, 0);
  bool gone = f.process && WaitForSingleObject(f.process, 10000) == WAIT_OBJECT_0;
  Check(gone, "closing the window ends the program", "still running after 10 s");
}

// --- typing into Edit2 during a scan --------------------------------------

// The user clicks into Edit2 while the walk goes through a folder of pages,
// replaces the pattern key by key and presses Enter. Prints the file Edit1
// showed at the first key and at Enter, for the script's check of the pages.
void TypePatternDuringScan(const Form& f, const char* text, const char* folder, DWORD timeoutMs) {
  if (StartWalk(f, "typing", "the walk reaches the pages", 10, folder, timeoutMs).empty()) return;
  // Sent, not posted, so that they are done before the selection is made.
  Send(f.edit2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  Send(f.edit2, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  Send(f.edit2, EM_SETSEL, 0, -1);  // the first key replaces the old pattern
  std::string firstKeyAt = WindowText(f.edit1);
  for (const char* c = text; *c; ++c) {
    PostMessageW(f.edit2, WM_CHAR, (unsigned char)*c, 1);
    Sleep(15);
  }
  std::string lastKeyAt = WindowText(f.edit1);
  PostMessageW(f.edit2, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(f.edit2, WM_KEYUP, VK_RETURN, 0xC0000001);
  Sleep(50);
  std::string enterAt = WindowText(f.edit1);
  Check(WindowText(f.edit2) == text, "typing: Edit2 holds the typed pattern", Quoted(WindowText(f.edit2)));
  Check(firstKeyAt.find(folder) != std::string::npos && enterAt.find(folder) != std::string::npos &&
            firstKeyAt != lastKeyAt,
        "typing: the keys were typed while the walk went through the pages",
        "Edit1 at the first key " + firstKeyAt + ", at the last " + lastKeyAt);
  Snapshot end;
  bool ended = WaitForEnd(f, timeoutMs, &end);
  Check(ended && end.panel[0] == kFinished, "typing: the scan runs to 扫描完成!", "panel 0 " + end.panel[0]);
  std::printf("first_key_at=%s\nenter_at=%s\n", firstKeyAt.c_str(), enterAt.c_str());
}

// --- ending the program while a rewrite is half done ------------------------
// Against VuxorHeldDisk.exe, whose second write of held.exe waits for the
// event "vx-e2e-release-held".

// Asks the window whether the user's session may end; -1 when it gave no answer.
LRESULT QueryEndSession(const Form& f) { return Send(f.form, WM_QUERYENDSESSION, 0, 0, 5000); }

HANDLE OpenNamedEvent(const char* name, DWORD timeoutMs) {
  HANDLE event = nullptr;
  WaitFor(timeoutMs, 50, [&] { return (event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name)); });
  return event;
}

// Starts the scan, waits until the rewrite of held.exe is half done, and
// closes the window, or ends its message loop with a WM_QUIT as another
// program may post it (--by quit). The program must wait for the rewrite
// however long it takes: it is still there, hidden, well after the walk's
// 15 s bound.
void HoldRewriteAndClose(const Form& f, DWORD timeoutMs, UINT ending) {
  Check(QueryEndSession(f) == TRUE, "held rewrite: with no rewrite under way the session may end", "refused");
  if (StartScan(f, "held rewrite").empty()) return;
  HANDLE held = OpenNamedEvent("vx-e2e-held", timeoutMs);
  bool reached = held && WaitForSingleObject(held, timeoutMs) == WAIT_OBJECT_0;
  Check(reached, "held rewrite: the rewrite of held.exe stops after its first write", "never got there");
  if (!reached) return;
  Check(QueryEndSession(f) == FALSE, "held rewrite: the session may not end while a rewrite is under way",
        "WM_QUERYENDSESSION answered " + std::to_string(QueryEndSession(f)));
  PostMessageW(f.form, ending, 0, 0);
  WaitFor(1000, 20, [&] { return IsWindow(f.form) && !IsWindowVisible(f.form); });
  Check(IsWindow(f.form) && !IsWindowVisible(f.form), "held rewrite: closing hides the window at once",
        IsWindow(f.form) ? "still visible" : "the window is gone");
  DWORD exited = WaitForSingleObject(f.process, 17000);
  Check(exited == WAIT_TIMEOUT, "held rewrite: the program waits past the walk's 15 s for the rewrite",
        "the program ended while held.exe was half written");
}

void ReleaseHeldRewrite(const Form& f, DWORD timeoutMs) {
  HANDLE release = OpenNamedEvent("vx-e2e-release-held", 5000);
  Check(release && SetEvent(release), "held rewrite: the disk goes on", "no release event");
  bool gone = f.process && WaitForSingleObject(f.process, timeoutMs) == WAIT_OBJECT_0;
  Check(gone, "held rewrite: the program ends once the rewrite is done", "still running");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e_driver COMMAND [options] (the commands are listed at the top of driver.cpp)\n");
    return 100;
  }
  std::string command = argv[1];
  DWORD timeoutMs = static_cast<DWORD>(std::atof(Option(argc, argv, "--timeout", "300")) * 1000);
  const char* log = Option(argc, argv, "--log", nullptr);
  long afterFiles = std::atol(Option(argc, argv, "--after-files", "20"));
  long expectFiles = std::atol(Option(argc, argv, "--expect-files", "-1"));

  Form f = FindForm(command == "wait-window" ? timeoutMs : 5000);
  if (command == "wait-window" || !f.form) {
    Check(f.form != nullptr, "the main window is shown", "no window with the caption");
    return f.form ? 0 : 1;
  }
  if (!f.process) Check(false, "the program's process can be opened", "OpenProcess failed");

  dpi = std::atoi(Option(argc, argv, "--dpi", "96"));
  if (command == "layout") Layout(f);
  else if (command == "scan") Scan(f, timeoutMs, log);
  else if (command == "stop-during-scan") StopDuringScan(f, afterFiles, expectFiles, timeoutMs, log);
  else if (command == "stop") PressWhileIdle(f, f.button2, "停止杀毒 with no scan running leaves the window idle", log);
  else if (command == "start-after-stop")
    StartAfterStop(f, afterFiles, Option(argc, argv, "--at-file", ""), expectFiles, timeoutMs, log);
  else if (command == "clear-log")
    PressWhileIdle(f, f.button4, "清空日志 with no scan running leaves the window idle", log);
  else if (command == "dump") { WriteLog(f, log); PrintState(f); }
  else if (command == "close") Close(f);
  else if (command == "set-pattern" && argc > 2) SetPattern(f, argv[2]);
  else if (command == "type-pattern-during-scan" && argc > 2)
    TypePatternDuringScan(f, argv[2], Option(argc, argv, "--folder", "\\typing\\"), timeoutMs);
  else if (command == "hold-rewrite-and-close")
    HoldRewriteAndClose(f, timeoutMs, std::string(Option(argc, argv, "--by", "close")) == "quit" ? WM_QUIT : WM_CLOSE);
  else if (command == "release-held-rewrite") ReleaseHeldRewrite(f, timeoutMs);
  else { std::fprintf(stderr, "unknown command %s\n", command.c_str()); return 100; }
  return failures > 99 ? 99 : failures;
}
