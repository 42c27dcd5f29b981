// FunUnit: small string, path and file routines the engine shares. None keeps
// state; failures show only in the result.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vx {

std::string UpperCaseText(const std::string& text);   // system mapping (CharUpperBuffW on the UTF-8 text)
std::string UpperCaseAscii(const std::string& text);  // only a..z change
std::string GetNameExtension(const std::string& name);  // after the last ".", "" when none
std::string GetSystemFolderPath();                    // ends with "\"; "" when the system gives none
std::int32_t QueryFileStamp(const std::string& path);   // MS-DOS date<<16 | time, or -1
bool QueryFilePresent(const std::string& path);
// The stamp of a listed entry: -1 for a folder or a time out of the MS-DOS range.
std::int32_t FileStampOf(std::uint32_t attributes, FileTime lastWriteTime);
std::int32_t ParseInteger(const std::string& text);
std::string FormatInteger(std::int32_t value);

// True when the file calls take the path without the long-path prefix: fewer
// than kMaxPath UTF-16 units. Malformed UTF-8 names no file and never fits.
bool FitsPath(const std::string& path);

}  // namespace vx
