#include "engine/file_rewrite.h"

#include <algorithm>
#include <cstdint>

#include "engine/rewrite_guard.h"
#include "platform/platform.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

// Windows refuses to write such files and Wine running as root does not; the
// user set these bits, so the tool leaves such files alone everywhere.
constexpr std::uint32_t kLeftAlone = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory;
constexpr std::size_t kChunk = 1u << 20;

bool MayRewrite(const std::string& path) {
  std::uint32_t attributes = Sys().GetFileAttributesA(path.c_str());
  return attributes != kInvalidFileAttributes && (attributes & kLeftAlone) == 0;
}

Handle OpenExclusive(const std::string& path) {
  return Sys().CreateFileA(path.c_str(), kGenericRead | kGenericWrite, 0, kOpenExisting, kAttrNormal);
}


// True when the freshly opened file holds exactly `expected`: what was read
// earlier may have changed since, and must not be overwritten unseen.
bool HoldsExactly(Handle file, const std::string& expected) {
  try {
    std::uint32_t high = 0;
    std::uint32_t low = Sys().GetFileSize(file, &high);
    if (high != 0 || low != expected.size()) return false;
    std::string block(std::min(kChunk, expected.size()), '\0');
    for (std::size_t done = 0; done < expected.size();) {
      std::uint32_t want = static_cast<std::uint32_t>(std::min(kChunk, expected.size() - done));
      std::uint32_t got = 0;
      if (!Sys().ReadFile(file, &block[0], want, &got) || got != want) return false;
      if (expected.compare(done, want, block, 0, want) != 0) return false;
      done += want;
    }
    return true;
  } catch (...) {  // no memory for the comparison: do not touch the file
    return false;
  }
}

// Writes data over the file from its start, ends the file after it and
// flushes. A short write is a failure: the bytes must all be there.
bool WriteWhole(Handle file, const std::string& data) {
  if (Sys().SetFilePointer(file, 0, nullptr, kFileBegin) != 0) return false;
  for (std::size_t done = 0; done < data.size();) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min(kChunk, data.size() - done));
    std::uint32_t written = 0;
    if (!Sys().WriteFile(file, data.data() + done, want, &written) || written != want) return false;
    done += want;
  }
  return Sys().SetEndOfFile(file) && Sys().FlushFileBuffers(file);
}

// The close failed after the new content was written and the handle is gone:
// the original goes back by a new open, but only over the exact bytes this
// rewrite left there.
void PutBackByPath(const std::string& path, const std::string& original, const std::string& replacement) {
  Handle file = OpenExclusive(path);
  if (file == kInvalidHandle) return;
  if (HoldsExactly(file, replacement)) WriteWhole(file, original);
  Sys().CloseHandle(file);
}

}  // namespace

bool RewriteFileInPlace(const std::string& path, const std::string& original, const std::string& replacement) {
  RewriteUnderWay underWay;  // the program does not end before the file is whole again
  if (replacement.size() > original.size() || path.size() > kMaxAnsiPath || !MayRewrite(path)) return false;
  Handle file = OpenExclusive(path);
  if (file == kInvalidHandle) return false;
  bool written = false;
  if (HoldsExactly(file, original)) {
    written = WriteWhole(file, replacement);
    // Fits in place: the original is never shorter than what failed to land.
    if (!written) WriteWhole(file, original);
  }
  if (Sys().CloseHandle(file)) return written;
  // The close was refused, so the new content may not have landed whole. A
  // handle whose close failed is never used or closed again: its value may
  // already name a handle another thread has just opened. The original goes
  // back through a fresh open instead.
  if (written) PutBackByPath(path, original, replacement);
  return false;
}

}  // namespace vx
