#include "engine/restore_infected_file.h"

#include <cstdint>

#include "engine/file_rewrite.h"
#include "engine/read_file_all.h"
#include "engine/scan_control.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

constexpr std::size_t kLeadFieldLength = 5;

// N from a size field of decimal digits only, or -1 when the field is empty,
// holds anything else, or does not fit a signed 32-bit count.
std::int64_t HostLength(const std::string& field) {
  if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos) return -1;
  std::size_t first = field.find_first_not_of('0');
  std::string digits = first == std::string::npos ? "0" : field.substr(first);
  if (digits.size() > 10) return -1;
  std::int32_t n = ParseInteger(digits);
  // The round trip catches a value that wrapped or saturated on the way in.
  return n >= 0 && FormatInteger(n) == digits ? n : -1;
}

}  // namespace

bool FindHostProgram(const std::string& content, std::size_t* start, std::size_t* length) {
  std::size_t zero = content.rfind('\0');
  if (zero == std::string::npos) return false;  // no sound place for the host to end
  std::string trailer = content.substr(zero + 1);
  if (trailer.find("QmTez") == std::string::npos || trailer.find("QMTEZ") == std::string::npos) return false;
  std::size_t terminator = trailer.find('\x01');
  if (terminator == std::string::npos) return false;
  std::string fields = trailer.substr(0, terminator);
  fields.erase(0, kLeadFieldLength);  // the lead field may hold a 0x02 of its own
  std::size_t separator = fields.find('\x02');
  std::int64_t n = HostLength(separator == std::string::npos ? fields : fields.substr(separator + 1));
  if (n < 0 || static_cast<std::size_t>(n) > zero) return false;
  *start = zero - static_cast<std::size_t>(n);
  *length = static_cast<std::size_t>(n);
  return true;
}

void RestoreInfectedFile(const std::string& path) {
  try {
    std::string content = ReadFileAll(path);
    std::size_t start = 0, length = 0;
    if (!FindHostProgram(content, &start, &length)) return;
    if (!RepairFileInPlace(path, content, ContentView::Run(content, start, length))) return;
    ++CleanedFiles;
    WindowLog(path + kRestoredLog);
    SetStatusText(2, kPanelCleanedPrefix + FormatInteger(CleanedFiles));
  } catch (...) {  // out of memory or a window failure: the walk goes on
  }
}

}  // namespace vx
