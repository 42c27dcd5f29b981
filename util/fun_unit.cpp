#include "util/fun_unit.h"

#include <cstring>

#include "util/handles.h"
#include "util/utf_convert.h"

namespace vx {

// Upper-cased through UTF-16, a character may take another count of UTF-8
// bytes, so the result is sized by the call. Text the system cannot map
// (no valid UTF-8) has its ASCII letters upper-cased only.
std::string UpperCaseText(const std::string& text) {
  if (text.empty()) return text;
  auto length = static_cast<std::uint32_t>(text.size());
  std::string result(text.size(), '\0');
  std::uint32_t n = Sys().CharUpperBuffA(text.data(), length, &result[0], length);
  if (n > length) {
    result.resize(n);
    n = Sys().CharUpperBuffA(text.data(), length, &result[0], n);
  }
  if (n == 0 || n > result.size()) return UpperCaseAscii(text);
  result.resize(n);
  return result;
}

std::string UpperCaseAscii(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return result;
}

bool FitsPath(const std::string& path) {
  std::size_t units = Utf16Length(path);
  return units != std::string::npos && units < kMaxPath;
}

std::string GetNameExtension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  return name.substr(dot + 1);
}

std::string GetSystemFolderPath() {
  char buffer[kMaxNameBytes] = {};
  std::uint32_t length = Sys().GetSystemDirectoryA(buffer, sizeof buffer);
  // A failed call, or one that needs a larger buffer, gives no usable folder;
  // an empty result keeps callers from deleting relative to the current folder.
  if (length == 0 || length >= sizeof buffer) return std::string();
  std::string path(buffer, strnlen(buffer, sizeof buffer));
  if (path.empty() || !FitsPath(path)) return std::string();
  if (path.back() != '\\') path += '\\';
  return path;
}

std::int32_t QueryFileStamp(const std::string& path) {
  FindData data;
  SearchHandle search = FindFirstEntry(path, &data);
  if (!search.IsOpen()) return -1;
  search.Close();  // the first entry is all that is looked at
  return FileStampOf(data.attributes, data.lastWriteTime);
}

std::int32_t FileStampOf(std::uint32_t attributes, FileTime lastWriteTime) {
  if (attributes & kAttrDirectory) return -1;
  FileTime local = 0;
  std::uint16_t date = 0, time = 0;
  if (!Sys().FileTimeToLocalFileTime(lastWriteTime, &local)) return -1;
  if (!Sys().FileTimeToDosDateTime(local, &date, &time)) return -1;
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(date) << 16) | time);
}

bool QueryFilePresent(const std::string& path) { return QueryFileStamp(path) != -1; }

namespace {

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// Reads like the classic Val: blanks, a sign, "$"/"x"/"0x" for hexadecimal.
// Well-formed text gives its value; malformed text gives the unsigned value of
// the digits before the first misfit. Values wrap to 32 bits.
std::int32_t ParseInteger(const std::string& text) {
  std::size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  std::uint32_t value = 0;
  std::size_t digits = 0;
  for (; i < n; ++i, ++digits) {
    int d = DigitValue(text[i], hex);
    if (d < 0) break;
    value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(d);
  }
  bool wellFormed = digits > 0 && i == n;
  if (wellFormed && negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::string FormatInteger(std::int32_t value) { return std::to_string(value); }

}  // namespace vx
