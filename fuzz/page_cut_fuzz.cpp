// The page cut: any pattern, any page. The first byte-exact copy of the
// pattern goes, nothing else changes, and the log tells it once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/clean_web_page.h"
#include "fuzz/fuzz_support.h"

namespace {

// The page without the first copy of the pattern, found by plain comparison
// at every offset; false when the pattern is empty or absent.
bool RuleCut(const std::string& page, const std::string& pattern, std::string* cut) {
  if (pattern.empty() || pattern.size() > page.size()) return false;
  for (std::size_t at = 0; at + pattern.size() <= page.size(); ++at) {
    if (std::memcmp(page.data() + at, pattern.data(), pattern.size()) == 0) {
      *cut = page.substr(0, at) + page.substr(at + pattern.size());
      return true;
    }
  }
  return false;
}

}  // namespace

// The first byte gives the pattern's length (up to 63), the pattern follows,
// the rest is the page.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx;
  if (size == 0) return 0;
  std::size_t length = std::min<std::size_t>(data[0] % 64, size - 1);
  std::string pattern(reinterpret_cast<const char*>(data) + 1, length);
  std::string page(reinterpret_cast<const char*>(data) + 1 + length, size - 1 - length);
  std::string cut;
  bool cleaned = RuleCut(page, pattern, &cut);

  TestBed bed;
  const std::string path = "D:\\www\\index.htm";
  bed.machine.AddDrive('D', kDriveFixed);
  bed.machine.AddFile(path, page);
  bed.window.pattern = pattern;
  CleanWebPage(path);
  Require(bed.machine.FileBytes(path) == (cleaned ? cut : page), "page not as the rule says");
  std::vector<std::string> ops = {"pattern"};
  if (cleaned) ops.push_back("log " + path + " 网页还原成功!");
  Require(bed.window.Ops() == ops, "window calls do not match the cut");
  Require(bed.machine.ListNames("D:\\www") == std::vector<std::string>{"index.htm"}, "stray file");
  Require(bed.machine.OpenHandleCount() == 0, "handle left open");
  return 0;
}
