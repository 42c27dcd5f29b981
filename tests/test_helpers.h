// What every kind of test shares, in one place: the last-error marker, UTC
// calendar times as FILETIMEs and infected programs as the worm builds them.
// Used by the unit and contract tests, the adapter tests and the sample
// generator, so nothing here needs more than the mingw runtime offers.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vxtest {

// A value no call sets by itself: a last error that is still this one was left alone.
constexpr std::uint32_t kErrorMarker = 0xdeadbeef;

// A FILETIME of a UTC calendar time (proleptic Gregorian).
inline vx::FileTime UtcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  // Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  std::int64_t days = era * 146097 + doe - 719468;
  constexpr std::int64_t kTicksPerSecond = 10000000;
  constexpr std::int64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 as a FILETIME
  std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<vx::FileTime>(kUnixEpoch + seconds * kTicksPerSecond);
}

// The trailer the worm appends after the zero byte that ends the host: a
// five-byte lead field, a text field, 0x02, the size field, 0x01.
inline std::string InfectionTrailer(const std::string& size, const std::string& text = "QMTEZ") {
  return "QmTez" + text + "\x02" + size + "\x01";
}

// An infected program as the worm leaves it: its own body, the host, a zero
// byte, then the trailer with both markers and the host's length.
inline std::string InfectedProgram(const std::string& body, const std::string& host,
                                   const std::string& text = "QMTEZ") {
  return body + host + std::string(1, '\0') + InfectionTrailer(std::to_string(host.size()), text);
}

}  // namespace vxtest
