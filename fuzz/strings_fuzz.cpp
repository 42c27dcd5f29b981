// The string and number routines against their rules restated: integer text
// both ways, the two case mappings and the name extension.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "util/fun_unit.h"
#include "util/utf_convert.h"

namespace {

int Digit(char c, int base) {
  int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
  return d < base ? d : -1;
}

// Blanks, one sign, a hexadecimal mark ("$", "x", "X", "0x", "0X") or none,
// then digits of that base to the end: the value, negated after "-". Any other
// text gives the digits read before the first misfit, unsigned. Values keep
// their low 32 bits.
std::int32_t RuleInteger(const std::string& text) {
  std::size_t at = text.find_first_not_of(' ');
  if (at == std::string::npos) return 0;
  char sign = text[at] == '-' || text[at] == '+' ? text[at++] : '+';
  int base = 10;
  if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) {
    base = 16;
    at += 2;
  } else if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
    base = 16;
    at += 1;
  }
  std::uint64_t value = 0;
  std::size_t digits = 0;
  while (at + digits < text.size() && Digit(text[at + digits], base) >= 0) {
    value = (value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(Digit(text[at + digits], base))) &
            0xFFFFFFFFull;
    ++digits;
  }
  bool whole = digits > 0 && at + digits == text.size();
  if (whole && sign == '-') value = (0x100000000ull - value) & 0xFFFFFFFFull;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::string RuleExtension(const std::string& name) {
  for (std::size_t i = name.size(); i-- > 0;) {
    if (name[i] == '.') return name.substr(i + 1);
  }
  return std::string();
}

std::string RuleAsciiUpper(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::int32_t value = ParseInteger(text);
  Require(value == RuleInteger(text), "ParseInteger(\"" + text + "\") = " + std::to_string(value));

  char printed[16];
  std::snprintf(printed, sizeof printed, "%d", static_cast<int>(value));
  Require(FormatInteger(value) == printed, "FormatInteger of " + std::string(printed));
  Require(ParseInteger(FormatInteger(value)) == value, "no round trip for " + std::string(printed));

  Require(GetNameExtension(text) == RuleExtension(text), "GetNameExtension");
  Require(UpperCaseAscii(text) == RuleAsciiUpper(text), "UpperCaseAscii");

  TestBed bed;
  std::string upper = UpperCaseText(text);
  std::u16string before, after;
  if (!Utf8ToUtf16(text, &before)) {
    // Text that is no UTF-8 has no system mapping: its ASCII letters alone change.
    Require(upper == RuleAsciiUpper(text), "UpperCaseText of bytes that are no UTF-8");
    return 0;
  }
  // Mapped through UTF-16 unit by unit: as many units, ASCII as ASCII, and no
  // other unit turns into an ASCII letter the engine compares.
  Require(Utf8ToUtf16(upper, &after) && after.size() == before.size(), "UpperCaseText changed the UTF-16 length");
  for (std::size_t i = 0; i < before.size(); ++i) {
    char16_t was = before[i], is = after[i];
    bool ok = was < 0x80 ? is == static_cast<char16_t>(was >= 'a' && was <= 'z' ? was - 32 : was) : is >= 0x80;
    Require(ok, "UpperCaseText unit " + std::to_string(i));
  }
  return 0;
}
