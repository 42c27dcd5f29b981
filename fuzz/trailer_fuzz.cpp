// The infection trailer and the restore rule: the restorer's reading of any
// content against the rule stated anew, field by field from the trailer's
// front, and the restorer's effect on a file holding that content.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/restore_infected_file.h"
#include "engine/scan_control.h"
#include "fuzz/fuzz_support.h"

namespace vx {
namespace {

// The rule: the bytes after the last zero byte are the trailer; it counts when
// it holds both markers and a terminator (its first 0x01). Before the
// terminator stand a five-byte lead field, then a text field that the first
// 0x02 from offset 5 on closes, then the size field (everything after the
// lead field when no 0x02 stands there). The size field must be decimal
// digits, and its value N at most the count of bytes before the zero byte:
// the host is the N bytes just before that zero byte.
bool RuleHost(const std::string& content, std::string* host) {
  const std::size_t zero = content.rfind('\0');
  if (zero == std::string::npos) return false;  // no zero byte: no place for the host to end
  const std::string trailer(content, zero + 1);
  if (trailer.find("QmTez") == std::string::npos || trailer.find("QMTEZ") == std::string::npos) return false;
  const std::size_t terminator = trailer.find('\x01');
  if (terminator == std::string::npos) return false;
  const std::size_t separator = trailer.find('\x02', 5);
  const std::size_t field = separator < terminator ? separator + 1 : 5;
  if (field >= terminator) return false;  // no digit at all
  std::uint64_t n = 0;
  for (std::size_t i = field; i < terminator; ++i) {
    char c = trailer[i];
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > zero) return false;  // larger than what stands before the zero byte, and stays so
  }
  *host = content.substr(zero - n, n);
  return true;
}

}  // namespace
}  // namespace vx

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx;
  std::string content(reinterpret_cast<const char*>(data), size);
  std::string host;
  bool infected = RuleHost(content, &host);
  std::size_t start = 0, length = 0;
  bool found = FindHostProgram(content, &start, &length);
  Require(found == infected, found ? "a trailer the rule refuses was taken" : "a sound trailer was missed");
  Require(!found || content.compare(start, length, host) == 0, "the host is not the rule's bytes");

  TestBed bed;
  const std::string path = "C:\\apps\\tool.exe";
  bed.machine.AddFile(path, content);
  CleanedFiles = 0;
  RestoreInfectedFile(path);
  Require(bed.machine.FileBytes(path) == (infected ? host : content), "file not as the rule says");
  Require(bed.window.Log() == (infected ? std::vector<std::string>{path + "还原成功!"} : std::vector<std::string>{}),
          "log does not match the restore");
  Require(CleanedFiles == (infected ? 1 : 0), "count does not match the restore");
  Require(bed.machine.OpenHandleCount() == 0, "handle left open");
  return 0;
}
