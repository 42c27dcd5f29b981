// The steps of an in-place rewrite on an open file: look at what the file
// holds, and write content over it. Each step reports the system's error of
// the call that failed, so that the rewrite can tell a file another program
// holds for a moment from one that cannot be written at all.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vx {

enum class FileHolds {
  kOriginal,     // exactly the content the repair started from
  kReplacement,  // exactly the repaired content
  kOther,        // anything else
  kUnknown,      // a read failed: the content could not be seen
};

// Reads the open file from its start and compares it with both contents.
// Memory running out for the comparison leaves the content unseen (kUnknown):
// a rewrite that has already touched the file must still get to put it right.
FileHolds WhatFileHolds(Handle file, const std::string& original, const std::string& replacement,
                        std::uint32_t* error);

// Writes data over the open file from its start, ends the file after it and
// flushes. A short write is a failure: every byte must be there. *touched
// becomes true once the file may have changed; false on return means the file
// is as it was.
bool WriteWhole(Handle file, const std::string& data, bool* touched, std::uint32_t* error);

}  // namespace vx
