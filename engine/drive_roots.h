#pragma once

namespace vx {

// Deletes the worm's start-up files at the root of every eligible drive.
void CleanDriveRoots();

}  // namespace vx
