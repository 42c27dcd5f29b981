#include "engine/rewrite_steps.h"

#include <algorithm>
#include <new>

namespace vx {
namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;

// A failed call whose last error says nothing still counts as a failure.
std::uint32_t CallError() {
  std::uint32_t error = Sys().GetLastError();
  return error != kErrorSuccess ? error : kErrorWriteFault;
}

// The file's length, or false when it cannot be taken.
bool Length(Handle file, std::uint64_t* length, std::uint32_t* error) {
  std::uint32_t high = 0;
  Sys().SetLastError(kErrorSuccess);
  std::uint32_t low = Sys().GetFileSize(file, &high);
  if (low == kInvalidFileSize && Sys().GetLastError() != kErrorSuccess) {
    *error = Sys().GetLastError();
    return false;
  }
  *length = (static_cast<std::uint64_t>(high) << 32) | low;
  return true;
}

bool Rewind(Handle file, std::uint32_t* error) {
  if (Sys().SetFilePointer(file, 0, nullptr, kFileBegin) == 0) return true;
  *error = CallError();
  return false;
}

// Reads the file's bytes in chunks and keeps each content that still matches.
FileHolds Compare(Handle file, std::size_t length, const std::string* a, const std::string* b,
                  std::uint32_t* error) {
  std::string block(std::min(kChunk, length), '\0');
  for (std::size_t done = 0; done < length && (a || b);) {
    auto want = static_cast<std::uint32_t>(std::min(kChunk, length - done));
    std::uint32_t got = 0;
    if (!Sys().ReadFile(file, &block[0], want, &got)) {
      *error = CallError();
      return FileHolds::kUnknown;
    }
    if (got != want) return FileHolds::kOther;  // shorter than its length said: not ours
    if (a && a->compare(done, want, block, 0, want) != 0) a = nullptr;
    if (b && b->compare(done, want, block, 0, want) != 0) b = nullptr;
    done += want;
  }
  if (a) return FileHolds::kOriginal;
  return b ? FileHolds::kReplacement : FileHolds::kOther;
}

}  // namespace

FileHolds WhatFileHolds(Handle file, const std::string& original, const std::string& replacement,
                        std::uint32_t* error) {
  try {
    std::uint64_t length = 0;
    if (!Length(file, &length, error)) return FileHolds::kUnknown;
    const std::string* a = length == original.size() ? &original : nullptr;
    const std::string* b = length == replacement.size() ? &replacement : nullptr;
    if (!a && !b) return FileHolds::kOther;
    if (!Rewind(file, error)) return FileHolds::kUnknown;
    return Compare(file, static_cast<std::size_t>(length), a, b, error);
  } catch (const std::bad_alloc&) {
    *error = kErrorNotEnoughMemory;
    return FileHolds::kUnknown;
  }
}

bool WriteWhole(Handle file, const std::string& data, bool* touched, std::uint32_t* error) {
  if (!Rewind(file, error)) return false;
  *touched = true;
  for (std::size_t done = 0; done < data.size();) {
    auto want = static_cast<std::uint32_t>(std::min(kChunk, data.size() - done));
    std::uint32_t written = 0;
    if (!Sys().WriteFile(file, data.data() + done, want, &written)) {
      *error = CallError();
      return false;
    }
    if (written != want) {
      *error = kErrorDiskFull;
      return false;
    }
    done += want;
  }
  if (!Sys().SetEndOfFile(file) || !Sys().FlushFileBuffers(file)) {
    *error = CallError();
    return false;
  }
  return true;
}

}  // namespace vx
