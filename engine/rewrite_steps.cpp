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
FileHolds Compare(Handle file, std::size_t length, const ContentView* a, const ContentView* b,
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
    if (a && !a->Matches(done, block.data(), want)) a = nullptr;
    if (b && !b->Matches(done, block.data(), want)) b = nullptr;
    done += want;
  }
  if (a) return FileHolds::kOriginal;
  return b ? FileHolds::kReplacement : FileHolds::kOther;
}

// Writes one run from the file's current position, in chunks.
bool WriteRun(Handle file, std::string_view run, std::uint32_t* error) {
  for (std::size_t done = 0; done < run.size();) {
    auto want = static_cast<std::uint32_t>(std::min(kChunk, run.size() - done));
    std::uint32_t written = 0;
    if (!Sys().WriteFile(file, run.data() + done, want, &written)) {
      *error = CallError();
      return false;
    }
    if (written != want) {
      *error = kErrorDiskFull;
      return false;
    }
    done += want;
  }
  return true;
}

}  // namespace

ContentView ContentView::Run(const std::string& base, std::size_t at, std::size_t length) {
  return ContentView(std::string_view(base).substr(at, length), std::string_view());
}

ContentView ContentView::Without(const std::string& base, std::size_t at, std::size_t length) {
  std::string_view whole(base);
  return ContentView(whole.substr(0, at), whole.substr(std::min(whole.size(), at + length)));
}

bool ContentView::Matches(std::size_t at, const char* data, std::size_t n) const {
  if (at > size() || n > size() - at) return false;
  std::string_view wanted(data, n);
  if (at < first_.size()) {
    const std::size_t head = std::min(n, first_.size() - at);
    if (first_.substr(at, head) != wanted.substr(0, head)) return false;
    wanted.remove_prefix(head);
    at = 0;
  } else {
    at -= first_.size();
  }
  return wanted.empty() || second_.substr(at, wanted.size()) == wanted;
}

FileHolds WhatFileHolds(Handle file, const ContentView& original, const ContentView& replacement,
                        std::uint32_t* error) {
  try {
    std::uint64_t length = 0;
    if (!Length(file, &length, error)) return FileHolds::kUnknown;
    const ContentView* a = length == original.size() ? &original : nullptr;
    const ContentView* b = length == replacement.size() ? &replacement : nullptr;
    if (!a && !b) return FileHolds::kOther;
    if (!Rewind(file, error)) return FileHolds::kUnknown;
    return Compare(file, static_cast<std::size_t>(length), a, b, error);
  } catch (const std::bad_alloc&) {
    *error = kErrorNotEnoughMemory;
    return FileHolds::kUnknown;
  }
}

bool WriteWhole(Handle file, const ContentView& data, bool* touched, std::uint32_t* error) {
  if (!Rewind(file, error)) return false;
  *touched = true;
  if (!WriteRun(file, data.First(), error) || !WriteRun(file, data.Second(), error)) return false;
  if (!Sys().SetEndOfFile(file) || !Sys().FlushFileBuffers(file)) {
    *error = CallError();
    return false;
  }
  return true;
}

}  // namespace vx
