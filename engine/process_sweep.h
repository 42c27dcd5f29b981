#pragma once
#include <cstdint>

namespace vx {

// Lists every running process in the log, ends those that bear one of the
// worm's image names and deletes their program files from the drivers folder.
bool KillTrojanProcesses();
bool KillProcessById(std::uint32_t processId);

}  // namespace vx
