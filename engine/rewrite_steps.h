// The steps of an in-place rewrite on an open file: look at what the file
// holds, and write content over it. Each step reports the system's error of
// the call that failed, so that the rewrite can tell a file another program
// holds for a moment from one that cannot be written at all.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vx {

// A file's content as at most two runs of bytes held elsewhere. The repairers
// only ever cut bytes out of what they read, so the repaired content is a run
// or two of the bytes already in memory: a 30 MiB page is not held twice.
// The bytes it views must outlive it.
class ContentView {
 public:
  // All of `whole`; implicit, so that a whole content passes where a view is asked.
  ContentView(const std::string& whole) : first_(whole) {}
  // The run of `length` bytes at `at`.
  static ContentView Run(const std::string& base, std::size_t at, std::size_t length);
  // Everything but the run of `length` bytes at `at`.
  static ContentView Without(const std::string& base, std::size_t at, std::size_t length);

  std::size_t size() const { return first_.size() + second_.size(); }
  // True when the bytes from `at` on equal the `n` bytes of `data`.
  bool Matches(std::size_t at, const char* data, std::size_t n) const;
  std::string_view First() const { return first_; }
  std::string_view Second() const { return second_; }

 private:
  ContentView(std::string_view first, std::string_view second) : first_(first), second_(second) {}
  std::string_view first_, second_;
};

enum class FileHolds {
  kOriginal,     // exactly the content the repair started from
  kReplacement,  // exactly the repaired content
  kOther,        // anything else
  kUnknown,      // a read failed: the content could not be seen
};

// Reads the open file from its start and compares it with both contents.
// Memory running out for the comparison leaves the content unseen (kUnknown):
// a rewrite that has already touched the file must still get to put it right.
FileHolds WhatFileHolds(Handle file, const ContentView& original, const ContentView& replacement,
                        std::uint32_t* error);

// Writes data over the open file from its start, ends the file after it and
// flushes. A short write is a failure: every byte must be there. *touched
// becomes true once the file may have changed; false on return means the file
// is as it was.
bool WriteWhole(Handle file, const ContentView& data, bool* touched, std::uint32_t* error);

}  // namespace vx
