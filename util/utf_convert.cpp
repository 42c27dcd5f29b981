#include "util/utf_convert.h"

namespace vx {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFFu;

// Decodes one character at text[*at], moving *at past it; kInvalid for a
// malformed sequence.
char32_t DecodeOne(const std::string& text, std::size_t* at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(*at);
  if (lead < 0x80) {
    ++*at;
    return lead;
  }
  std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (extra == 0 || lead > 0xF4 || text.size() - *at <= extra) return kInvalid;
  char32_t value = lead & (0x3F >> extra);
  for (std::size_t i = 1; i <= extra; ++i) {
    unsigned char next = byte(*at + i);
    if ((next & 0xC0) != 0x80) return kInvalid;
    value = (value << 6) | (next & 0x3F);
  }
  static const char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kInvalid;
  *at += extra + 1;
  return value;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
    return;
  }
  std::size_t extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static const unsigned char kLeads[4] = {0, 0xC0, 0xE0, 0xF0};
  *out += static_cast<char>(kLeads[extra] | (c >> (6 * extra)));
  for (std::size_t i = extra; i > 0; --i) *out += static_cast<char>(0x80 | ((c >> (6 * (i - 1))) & 0x3F));
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

bool Utf8ToUtf16(const std::string& utf8, std::u16string* out) {
  out->clear();
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = DecodeOne(utf8, &at);
    if (c == kInvalid) return false;
    if (c < 0x10000) {
      *out += static_cast<char16_t>(c);
    } else {
      *out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      *out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return true;
}

bool Utf16ToUtf8(const char16_t* text, std::size_t length, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (IsHigh(text[i]) && i + 1 < length && IsLow(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      return false;  // an unpaired surrogate has no UTF-8 form
    }
    AppendUtf8(c, out);
  }
  return true;
}

std::size_t Utf16Length(const std::string& utf8) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = DecodeOne(utf8, &at);
    if (c == kInvalid) return std::string::npos;
    units += c < 0x10000 ? 1 : 2;
  }
  return units;
}

}  // namespace vx
