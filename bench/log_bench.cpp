// log_bench: the main window under a scan that logs heavily, in one process
// with the real form (the program's own window code, not a copy).
//
//   log_bench [LINES]      (100000 by default)
//
// A worker thread stands in for the scan worker and calls the window
// operations as the walker and the repairers do:
//   line 1            alone, as a repaired file reports it: Edit1, panel 1, log;
//   lines 2 .. L-1000 as fast as the worker can call (the log fills up);
//   the last 1000     at the walk's pace, each followed by a 10 ms pause, with
//                     Edit1 and panel 1 before every line.
// The form's message handling is timed from outside its code (its window
// procedure is wrapped): the time to append a line is the time the window
// thread spent on the message whose handling put that line into the log.
// A second thread sends WM_NULL to the form every 10 ms during the paced
// part and keeps each round trip. At the end the log is read back: every line
// must be there, once, in order.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/app_window.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "platform/win32/win32_platform.h"
#include "bench/bench_support.h"
#include "tests/e2e/form_probe.h"

namespace {

const int kPacedLines = 1000;

std::atomic<long> appended{0};  // log lines in Memo1, counted from its EM_REPLACESEL texts
WNDPROC memoProc = nullptr;
WNDPROC formProc = nullptr;
WNDPROC edit1Proc = nullptr;
WNDPROC statusProc = nullptr;
// Time in Memo1's own handling, by message, since the last message of the form began.
struct MemoTimes {
  double getSel = 0, setSel = 0, replaceSel = 0, scrollCaret = 0, other = 0;
  double edit1 = 0, statusBar = 0;  // the other two controls a drain changes
};
MemoTimes memoTimes;
int memoDepth = 0;

struct Drain {
  long first, last;  // lines this message's handling appended
  double ms;         // the whole handling of the message
  MemoTimes memo;    // of which Memo1's own handling, by message
};
std::vector<Drain> drains;  // window thread only

std::string Line(long n) {
  char text[96];
  std::snprintf(text, sizeof text, "D:\\bench\\g%06ld\\page.htm 网页还原成功!", n);
  return text;
}

long CountLines(const char* text) {
  long lines = 0;
  for (const char* p = text; (p = std::strstr(p, "\r\n")) != nullptr; p += 2) ++lines;
  return lines;
}

LRESULT CALLBACK MemoProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  // Every append after the first line of the log starts with a line break.
  long lines = m == EM_REPLACESEL ? CountLines(reinterpret_cast<const char*>(lp)) : 0;
  double t0 = bench::SecondsNow();
  ++memoDepth;
  LRESULT r = CallWindowProcA(memoProc, w, m, wp, lp);
  --memoDepth;
  double ms = (bench::SecondsNow() - t0) * 1000.0;
  if (memoDepth == 0) {
    double* slot = m == EM_GETSEL ? &memoTimes.getSel : m == EM_SETSEL ? &memoTimes.setSel
                 : m == EM_REPLACESEL ? &memoTimes.replaceSel : m == EM_SCROLLCARET ? &memoTimes.scrollCaret
                 : &memoTimes.other;
    *slot += ms;
  }
  appended += lines;
  return r;
}

LRESULT CALLBACK Edit1Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  double t0 = bench::SecondsNow();
  LRESULT r = CallWindowProcA(edit1Proc, w, m, wp, lp);
  memoTimes.edit1 += (bench::SecondsNow() - t0) * 1000.0;
  return r;
}

LRESULT CALLBACK StatusProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  double t0 = bench::SecondsNow();
  LRESULT r = CallWindowProcA(statusProc, w, m, wp, lp);
  memoTimes.statusBar += (bench::SecondsNow() - t0) * 1000.0;
  return r;
}

LRESULT CALLBACK FormProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  // Only the outermost message counts: its handling sends messages back to
  // the form (the controls' notifications).
  static int depth = 0;
  if (depth > 0) return CallWindowProcA(formProc, w, m, wp, lp);
  long before = appended;
  memoTimes = MemoTimes();
  double t0 = bench::SecondsNow();
  ++depth;
  LRESULT r = CallWindowProcA(formProc, w, m, wp, lp);
  --depth;
  if (appended != before)
    drains.push_back({before + 1, appended.load(), (bench::SecondsNow() - t0) * 1000.0, memoTimes});
  return r;
}

// --- the worker --------------------------------------------------------------

struct Work {
  long lines;
  std::vector<double> callUs;  // each window call on the worker
  std::atomic<bool> paced{false};
};

void WaitFor(long lines) {
  while (appended < lines) Sleep(1);
}

template <class Call>
void Timed(Work* w, Call call) {
  double t0 = bench::SecondsNow();
  call();
  w->callUs.push_back((bench::SecondsNow() - t0) * 1e6);
}

void ReportFile(Work* w, long n) {
  std::string path = Line(n).substr(0, Line(n).find(' '));
  Timed(w, [&] { vx::ShowCurrentFile(path); });
  Timed(w, [&] { vx::SetStatusText(1, "扫描文件数:" + std::to_string(n)); });
  Timed(w, [&] { vx::WindowLog(Line(n)); });
}

DWORD WINAPI Worker(void* param) {
  Work* w = static_cast<Work*>(param);
  ReportFile(w, 1);
  WaitFor(1);
  const long fastEnd = w->lines - kPacedLines;
  for (long n = 2; n <= fastEnd; ++n) Timed(w, [&] { vx::WindowLog(Line(n)); });
  WaitFor(fastEnd);
  w->paced = true;
  for (long n = fastEnd + 1; n <= w->lines; ++n) {
    ReportFile(w, n);
    Sleep(10);
  }
  WaitFor(w->lines);
  w->paced = false;
  return 0;
}

// --- checks and figures ----------------------------------------------------

// The log after the notice: exactly lines 1..lines, in order.
bool LogInOrder(HWND memo, long lines, long noticeLines, std::string* why) {
  int length = GetWindowTextLengthA(memo);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(memo, &text[0], length + 1)));
  std::size_t at = 0;
  for (long i = 0; i < noticeLines; ++i) at = text.find("\r\n", at) + 2;
  for (long n = 1; n <= lines; ++n) {
    std::string want = Line(n);
    if (text.compare(at, want.size(), want) != 0) {
      *why = "line " + std::to_string(n) + " missing or out of order";
      return false;
    }
    at += want.size();
    if (n < lines) {
      if (text.compare(at, 2, "\r\n") != 0) {
        *why = "no line break after line " + std::to_string(n);
        return false;
      }
      at += 2;
    }
  }
  if (at != text.size()) {
    *why = "text after the last line";
    return false;
  }
  return true;
}

const Drain* DrainOf(long line) {
  for (const Drain& d : drains)
    if (d.first <= line && line <= d.last) return &d;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  long lines = argc > 1 ? std::atol(argv[1]) : 100000;
  if (lines <= kPacedLines) lines = kPacedLines + 1;
  // The start-up steps of the program, timed one by one.
  HINSTANCE instance = GetModuleHandleA(nullptr);
  double s0 = bench::SecondsNow();
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  double s1 = bench::SecondsNow();
  static vx::Win32Platform platform;
  vx::SetPlatform(&platform);
  HWND application = vx::CreateApplicationWindow(instance, vx::kApplicationTitle);
  double s2 = bench::SecondsNow();
  static vx::TForm1 form;
  if (!form.Create(instance, application, SW_SHOWNORMAL)) {
    std::printf("log_bench: the form was not created\n");
    return 1;
  }
  double s3 = bench::SecondsNow();
  std::printf("start-up in the process: common controls %.1f ms, application window %.1f ms, Form1 created and "
              "shown %.1f ms\n",
              (s1 - s0) * 1000.0, (s2 - s1) * 1000.0, (s3 - s2) * 1000.0);
  vx::SetApplicationMainForm(form.Handle());
  vx::SetWindow(&form);
  // The notice's line count: one more than its line breaks.
  int length = GetWindowTextLengthA(form.Memo1);
  std::string notice(static_cast<std::size_t>(length) + 1, '\0');
  notice.resize(static_cast<std::size_t>(GetWindowTextA(form.Memo1, &notice[0], length + 1)));
  const long noticeLines = notice.empty() ? 0 : CountLines(notice.c_str()) + 1;

  memoProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(form.Memo1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MemoProc)));
  edit1Proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(form.Edit1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Edit1Proc)));
  statusProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(form.StatusBar1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusProc)));
  formProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(form.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FormProc)));

  Work work;
  work.lines = lines;
  double t0 = bench::SecondsNow();
  HANDLE worker = CreateThread(nullptr, 0, Worker, &work, 0, nullptr);
  e2e::RoundTrips pings(form.Handle(), {10, 10000, 10000, &work.paced});
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (r == WAIT_OBJECT_0) break;
  }
  double totalS = bench::SecondsNow() - t0;
  pings.Stop();

  std::string why;
  bool inOrder = LogInOrder(form.Memo1, lines, noticeLines, &why);
  const Drain* first = DrainOf(1);
  const Drain* last = DrainOf(lines);
  std::vector<double> paced;
  for (const Drain& d : drains)
    if (d.first > lines - kPacedLines) paced.push_back(d.ms);
  std::printf("log lines: %ld in %.1f s, %zu appends; all there, once, in order: %s%s\n", lines, totalS, drains.size(),
              inOrder ? "yes" : "NO, ", why.c_str());
  auto describe = [](const Drain* d) {
    char text[256];
    if (d == nullptr) return std::string("never");
    std::snprintf(text, sizeof text,
                  "%.3f ms (lines %ld..%ld; Memo1: EM_GETSEL %.3f, EM_SETSEL %.3f, EM_REPLACESEL %.3f, "
                  "EM_SCROLLCARET %.3f, other %.3f ms; Edit1 %.3f ms, StatusBar1 %.3f ms)",
                  d->ms, d->first, d->last, d->memo.getSel, d->memo.setSel, d->memo.replaceSel, d->memo.scrollCaret,
                  d->memo.other, d->memo.edit1, d->memo.statusBar);
    return std::string(text);
  };
  std::printf("append of line 1: %s\n", describe(first).c_str());
  std::printf("append of line %ld: %s\n", lines, describe(last).c_str());
  std::printf("appends during the last %d lines: %zu, p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", kPacedLines,
              paced.size(), bench::Percentile(paced, 50), bench::Percentile(paced, 99), bench::Percentile(paced, 100));
  std::printf("WM_NULL round trip during the last %d lines: p50 %.3f ms, p99 %.3f ms, max %.3f ms (%zu sent)\n",
              kPacedLines, bench::Percentile(pings.Ms(), 50), bench::Percentile(pings.Ms(), 99),
              bench::Percentile(pings.Ms(), 100), pings.Ms().size());
  std::printf("worker's window calls: p50 %.1f us, p99 %.1f us, max %.1f us (%zu calls)\n",
              bench::Percentile(work.callUs, 50), bench::Percentile(work.callUs, 99),
              bench::Percentile(work.callUs, 100), work.callUs.size());
  std::fflush(stdout);
  DestroyWindow(form.Handle());
  return inOrder ? 0 : 1;
}
