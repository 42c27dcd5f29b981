// Time on the in-memory machine: a virtual clock that Sleep advances without
// waiting, and the file-time conversions of kernel32.
#include <limits>

#include "testbed/memory_state.h"

namespace vx {

using mem::Guard;

namespace {

constexpr FileTime kTicksPerSecond = 10000000;

struct CivilTime {
  std::int64_t year;
  unsigned month, day, hour, minute, second;
};

// A file time as a Gregorian date and time (proleptic, as FILETIME counts).
CivilTime ToCivil(FileTime time) {
  std::int64_t seconds = static_cast<std::int64_t>(time / kTicksPerSecond);
  std::int64_t days = seconds / 86400;
  std::int64_t ofDay = seconds % 86400;
  // Shift to days since 0000-03-01 and split into 400-year eras.
  constexpr std::int64_t kDays0000To1601 = 719468 - 134774;  // 0000-03-01 .. 1601-01-01
  std::int64_t z = days + kDays0000To1601;
  std::int64_t era = z / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  CivilTime civil;
  civil.day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  civil.month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  civil.year = yoe + era * 400 + (civil.month <= 2 ? 1 : 0);
  civil.hour = static_cast<unsigned>(ofDay / 3600);
  civil.minute = static_cast<unsigned>(ofDay / 60 % 60);
  civil.second = static_cast<unsigned>(ofDay % 60);
  return civil;
}

}  // namespace

bool MemoryPlatform::FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FileTimeToLocalFileTime)) return false;
  constexpr std::int64_t kTicksPerMinute = 60 * static_cast<std::int64_t>(kTicksPerSecond);
  std::int64_t shift = static_cast<std::int64_t>(s_->timeZoneMinutes) * kTicksPerMinute;
  constexpr FileTime kMaxFileTime = static_cast<FileTime>(std::numeric_limits<std::int64_t>::max());
  bool underflows = shift < 0 && utc < static_cast<FileTime>(-shift);
  bool overflows = shift > 0 && utc > kMaxFileTime - static_cast<FileTime>(shift);
  if (local == nullptr || utc > kMaxFileTime || underflows || overflows) {
    mem::SetThreadError(kErrorInvalidParameter);
    return false;
  }
  *local = utc + static_cast<FileTime>(shift);
  return true;
}

bool MemoryPlatform::FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::FileTimeToDosDateTime)) return false;
  CivilTime civil = ToCivil(time);
  // A DOS date holds the years 1980 to 2107 in seven bits.
  if (dosDate == nullptr || dosTime == nullptr || civil.year < 1980 || civil.year > 2107) {
    mem::SetThreadError(kErrorInvalidParameter);
    return false;
  }
  *dosDate = static_cast<std::uint16_t>(((civil.year - 1980) << 9) | (civil.month << 5) | civil.day);
  *dosTime = static_cast<std::uint16_t>((civil.hour << 11) | (civil.minute << 5) | (civil.second / 2));
  return true;
}

std::uint64_t MemoryPlatform::NowMs() const {
  Guard g(s_->mu);
  return s_->nowMs;
}

std::vector<std::uint32_t> MemoryPlatform::Sleeps() const {
  Guard g(s_->mu);
  return s_->sleeps;
}

void MemoryPlatform::OnSleep(std::function<void(std::uint32_t ms)> hook) {
  Guard g(s_->mu);
  s_->onSleep = std::move(hook);
}

int MemoryPlatform::TimerPeriodDepth() const {
  Guard g(s_->mu);
  return s_->timerDepth;
}

void MemoryPlatform::Sleep(std::uint32_t milliseconds) {
  std::function<void(std::uint32_t)> hook;
  {
    Guard g(s_->mu);
    s_->nowMs += milliseconds;
    s_->sleeps.push_back(milliseconds);
    s_->TraceLocked("Sleep " + std::to_string(milliseconds));
    hook = s_->onSleep;
  }
  if (hook) hook(milliseconds);
}

std::uint32_t MemoryPlatform::GetTickCount() {
  Guard g(s_->mu);
  return static_cast<std::uint32_t>(s_->nowMs);  // wraps after 49.7 days, as the real count does
}

std::uint32_t MemoryPlatform::TimeBeginPeriod(std::uint32_t milliseconds) {
  Guard g(s_->mu);
  s_->TraceLocked("TimeBeginPeriod " + std::to_string(milliseconds));
  if (milliseconds == 0) return kTimerNoCando;
  ++s_->timerDepth;
  return kTimerNoError;
}

std::uint32_t MemoryPlatform::TimeEndPeriod(std::uint32_t milliseconds) {
  Guard g(s_->mu);
  s_->TraceLocked("TimeEndPeriod " + std::to_string(milliseconds));
  if (milliseconds == 0 || s_->timerDepth == 0) return kTimerNoCando;
  --s_->timerDepth;
  return kTimerNoError;
}

}  // namespace vx
