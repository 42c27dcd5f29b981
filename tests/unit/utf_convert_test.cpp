#include "util/utf_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

// Each character at the edges of the UTF-8 lengths goes there and back; every
// malformed form is refused both ways, and its UTF-16 length is npos.
TEST(UtfConvert, BothWaysAtEveryLengthEdgeAndNeverAMalformedForm) {
  const std::pair<std::string, std::u16string> valid[] = {
      {"", u""}, {"\x7F", u"\x7F"}, {"\xC2\x80", u"\x80"}, {"\xDF\xBF", u"\x7FF"}, {"\xE0\xA0\x80", u"\x800"},
      {"\xEF\xBF\xBF", u"\xFFFF"}, {"\xF0\x90\x80\x80", u"\xD800\xDC00"}, {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"a한😀", u"a\xD55C\xD83D\xDE00"},
  };
  for (const auto& c : valid) {
    std::u16string wide;
    std::string back = "left over";
    EXPECT_TRUE(Utf8ToUtf16(c.first, &wide)) << c.first;
    EXPECT_EQ(wide, c.second) << c.first;
    EXPECT_EQ(Utf16Length(c.first), c.second.size()) << c.first;
    EXPECT_TRUE(Utf16ToUtf8(c.second.data(), c.second.size(), &back)) << c.first;
    EXPECT_EQ(back, c.first);
  }
  for (const char* bad : {"\x80", "\xC3", "a\xE4\xB8", "\xF0\x9F\x98", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF",
                          "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                          "\xC3\x28", "\xFF"}) {
    std::u16string wide;
    EXPECT_FALSE(Utf8ToUtf16(bad, &wide)) << bad;
    EXPECT_EQ(Utf16Length(bad), std::string::npos) << bad;
  }
  const std::u16string unpaired[] = {u"\xD800", u"\xDC00" u"a", u"a\xDBFF", u"\xDC00\xD800"};
  for (const std::u16string& bad : unpaired) {
    std::string text;
    EXPECT_FALSE(Utf16ToUtf8(bad.data(), bad.size(), &text)) << bad.size();
  }
}

}  // namespace
}  // namespace vx
