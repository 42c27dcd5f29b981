// winmm's two timer functions, bound at run time from the system folder by
// full path: winmm is no KnownDLL, so an import of it would load whatever
// winmm.dll lies beside the program first.
#pragma once
#include <cstdint>

namespace vx {

// Loads winmm from the system folder and looks the two functions up, once;
// later calls do nothing. Call it at start-up on the thread that makes the
// platform, before any worker exists: a worker may walk with the file-system
// redirection of a 32-bit process turned off, and would then find the 64-bit
// library.
void BindWinmm();

// timeBeginPeriod / timeEndPeriod; 97 (TIMERR_NOCANDO) when winmm or the
// function could not be bound, which leaves the default timer in place.
std::uint32_t WinmmTimeBeginPeriod(std::uint32_t milliseconds);
std::uint32_t WinmmTimeEndPeriod(std::uint32_t milliseconds);

}  // namespace vx
