// FunUnit: small string, path and file routines the engine shares. None keeps
// state; failures show only in the result.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vx {

std::string UpperCaseText(const std::string& text);   // system mapping (CharUpperBuffA)
std::string UpperCaseAscii(const std::string& text);  // only a..z change
std::string GetNameExtension(const std::string& name);  // after the last ".", "" when none
std::string GetSystemFolderPath();                    // ends with "\"; "" when the system gives none
std::int32_t QueryFileStamp(const std::string& path);   // MS-DOS date<<16 | time, or -1
bool QueryFilePresent(const std::string& path);
// The stamp of a listed entry: -1 for a folder or a time out of the MS-DOS range.
std::int32_t FileStampOf(std::uint32_t attributes, FileTime lastWriteTime);
std::int32_t ParseInteger(const std::string& text);
std::string FormatInteger(std::int32_t value);

// True when the ANSI file calls take the path: kMaxPath bytes hold it with
// its terminating zero.
inline bool FitsAnsiPath(const std::string& path) { return path.size() < kMaxPath; }

}  // namespace vx
