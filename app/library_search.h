// Where the program's libraries come from. Started with administrator rights
// from Downloads or a USB stick, the program's folder may hold a DLL that
// anyone could have put there; only the system folder is trusted.
#pragma once

namespace vx {

// Takes the program's own folder and the current folder out of the search
// for every library loaded from here on, the system's and the controls' own
// included. Call it first thing, before any window class or control exists.
void NarrowLibrarySearch();

}  // namespace vx
