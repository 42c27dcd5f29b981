#include "tests/e2e/form_probe.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "app/control_ids.h"

namespace e2e {

namespace {

// Status bar messages carry pointers, which the system does not carry across
// processes: the buffer lives in the program's own memory.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t size) : process_(process), size_(size) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  LPARAM address() const { return (LPARAM)address_; }
  bool Read(void* out, size_t size) const {
    SIZE_T got = 0;
    return address_ && size <= size_ && ReadProcessMemory(process_, address_, out, size, &got) && got == size;
  }

 private:
  HANDLE process_;
  size_t size_;
  void* address_;
};

}  // namespace

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], (int)wide.size()));
  return wide;
}
std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 3, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(), nullptr,
                                  nullptr));
  return utf8;
}

// The window can be found before it has made its controls: the search goes
// on until the last of them (Edit2) is there.
Form FindForm(DWORD timeoutMs) {
  Form f;
  const std::wstring caption = Wide(kCaption);
  auto shown = [&] { return (f.form = FindWindowW(nullptr, caption.c_str())) && GetDlgItem(f.form, IDC_EDIT2); };
  if (!WaitFor(timeoutMs, 100, shown)) return Form{};
  const std::pair<HWND Form::*, int> controls[] = {
      {&Form::memo, IDC_MEMO1},     {&Form::edit1, IDC_EDIT1},     {&Form::edit2, IDC_EDIT2},
      {&Form::button2, IDC_BUTTON2}, {&Form::button3, IDC_BUTTON3}, {&Form::button4, IDC_BUTTON4},
      {&Form::status, IDC_STATUSBAR1}, {&Form::label1, IDC_LABEL1}};
  for (const auto& control : controls) f.*control.first = GetDlgItem(f.form, control.second);
  DWORD pid = 0;
  GetWindowThreadProcessId(f.form, &pid);
  f.process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                              PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                          FALSE, pid);
  return f;
}

LRESULT Send(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT timeoutMs) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, msg, wp, lp, SMTO_NORMAL, timeoutMs, &result)) return -1;
  return (LRESULT)result;
}

std::string WindowText(HWND w) {
  if (!w) return "";
  LRESULT len = Send(w, WM_GETTEXTLENGTH, 0, 0);
  if (len <= 0) return "";
  std::wstring text(len + 1, L'\0');
  LRESULT got = Send(w, WM_GETTEXT, len + 1, (LPARAM)&text[0]);
  text.resize(got > 0 ? got : 0);
  return Utf8(text);
}

// The whole (zeroed) buffer is read up to its zero, whatever length the bar reports.
std::string PanelText(const Form& f, int index) {
  wchar_t text[1024] = L"";
  RemoteBuffer buffer(f.process, sizeof text);
  if (Send(f.status, SB_GETTEXTW, index, buffer.address()) == -1 || !buffer.Read(text, sizeof text))
    return "<unreadable>";
  text[1023] = L'\0';
  return Utf8(text);
}

std::vector<int> PanelEdges(const Form& f) {
  RemoteBuffer buffer(f.process, 64 * sizeof(int));
  LRESULT n = Send(f.status, SB_GETPARTS, 64, buffer.address());
  if (n <= 0 || n > 64) return {};
  std::vector<int> edges(n);
  if (!buffer.Read(edges.data(), n * sizeof(int))) return {};
  return edges;
}

// Count after "扫描文件数:" in panel 1; -1 when the panel shows no count.
long PanelCount(const std::string& text, const char* prefix) {
  size_t plen = std::strlen(prefix);
  if (text.compare(0, plen, prefix) != 0 || text.size() == plen) return -1;
  return std::strtol(text.c_str() + plen, nullptr, 10);
}

bool Enabled(HWND w) { return w && IsWindowEnabled(w); }

bool Click(HWND button) { return Send(button, BM_CLICK, 0, 0, 60000) != -1; }

Snapshot Look(const Form& f) {
  Snapshot s;
  bool enabledBefore = Enabled(f.button3);
  for (int i = 0; i < 3; ++i) s.panel[i] = PanelText(f, i);
  s.edit1 = WindowText(f.edit1);
  s.startEnabled = Enabled(f.button3);
  s.settled = s.startEnabled == enabledBefore;
  return s;
}

bool Same(const Snapshot& a, const Snapshot& b) {
  return a.panel[0] == b.panel[0] && a.panel[1] == b.panel[1] && a.panel[2] == b.panel[2] && a.edit1 == b.edit1 &&
         a.startEnabled == b.startEnabled;
}

std::string Panels(const Snapshot& s) { return s.panel[0] + " | " + s.panel[1] + " | " + s.panel[2]; }

bool Ended(const Snapshot& s) {
  return s.startEnabled && (s.panel[0] == kFinished || s.panel[0] == kStopped);
}

std::vector<std::string> LogLines(const Form& f) {
  std::vector<std::string> lines;
  std::istringstream text(WindowText(f.memo));
  for (std::string line; std::getline(text, line); lines.push_back(line))
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
  return lines;
}

const char* Option(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

RoundTrips::RoundTrips(HWND window, Pace pace) : window_(window), pace_(pace) {
  thread_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
}

void RoundTrips::Stop() {
  stop_ = true;
  if (thread_ == nullptr) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

DWORD WINAPI RoundTrips::Loop(void* self) {
  RoundTrips* r = static_cast<RoundTrips*>(self);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  while (!r->stop_) {
    if (r->pace_.when == nullptr || *r->pace_.when) {
      LARGE_INTEGER t0, t1;
      QueryPerformanceCounter(&t0);
      bool answered = Send(r->window_, WM_NULL, 0, 0, r->pace_.limitMs) != -1;
      QueryPerformanceCounter(&t1);
      double ms = static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
      r->ms_.push_back(ms);
      ++r->asked_;
      r->lost_ += !answered;
      r->slow_ += !answered || ms >= r->pace_.slowMs;
      if (static_cast<long>(ms) > r->longest_) r->longest_ = static_cast<long>(ms);
    }
    Sleep(r->pace_.intervalMs);
  }
  return 0;
}

}  // namespace e2e
