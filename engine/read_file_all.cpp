#include "engine/read_file_all.h"

#include <algorithm>
#include <cstdint>

#include "util/handles.h"
#include "platform/platform.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

constexpr std::uint32_t kBlockSize = 51200;
constexpr int kBlockLimit = 1001;
constexpr std::uint32_t kTooLarge = 0x80000000u;  // 2 GiB: sizes no longer fit a signed count

// The file's current length, or -1 when it cannot be taken or is 2 GiB or more.
std::int64_t CurrentLength(Handle file) {
  std::uint32_t high = 0;
  std::uint32_t low = Sys().GetFileSize(file, &high);
  if (high != 0 || low >= kTooLarge) return -1;  // also the failure mark 0xFFFFFFFF
  return low;
}

// Reads the open file block by block into *content; false unless every byte
// of an unchanging file was read. The blocks land straight in the result,
// which is sized once from the length: the largest files that reach here are
// 30 MiB, and growing the result block by block would copy each of them
// about twice and hold half as much again while it grows.
bool ReadBlocks(Handle file, std::string* content) {
  const std::int64_t size = CurrentLength(file);
  if (size < 0) return false;
  const std::int64_t limit = static_cast<std::int64_t>(kBlockSize) * kBlockLimit;
  content->resize(static_cast<std::size_t>(std::min(size, limit)));
  std::int64_t total = 0;
  for (int blocks = 0;;) {
    std::uint32_t position = Sys().SetFilePointer(file, 0, nullptr, kFileCurrent);
    std::int64_t length = CurrentLength(file);
    if (position == kInvalidSetFilePointer || length != size) return false;  // failed, or grew or shrank
    if (position >= length) break;
    if (blocks == kBlockLimit) return false;  // bytes left beyond what one call may hold
    ++blocks;
    const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::int64_t>(kBlockSize, size - total));
    std::uint32_t read = 0;
    if (!Sys().ReadFile(file, &(*content)[static_cast<std::size_t>(total)], want, &read)) return false;
    // Only the last block may be short; a short one earlier would shift every later block.
    if (read != want) return false;
    total += read;
  }
  return total == size;
}

}  // namespace

std::string ReadFileAll(const std::string& path) {
  if (!FitsPath(path)) return std::string();  // never open a shortened name
  FileHandle file = OpenForReading(path);
  if (!file.IsOpen()) return std::string();
  std::string content;
  bool complete = ReadBlocks(file.Get(), &content);
  if (!file.Close()) complete = false;  // what was read cannot be vouched for
  if (!complete) return std::string();
  return content;  // moved out, never copied: it may be 30 MiB
}

}  // namespace vx
