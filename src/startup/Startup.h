#pragma once
// The entry point's decision tree: uninstaller, container, elevated installer or launcher.
#include "base/Win.h"

namespace tarvo {

// Restricts DLL loading to the system folder before anything else runs, so that a DLL planted
// beside setup.exe (a Downloads folder) is never loaded in its place.
void HardenDllSearch();

// Runs the mode that the process command line selects and returns the exit code:
// 0 success, 1602 cancelled by the user, 1603 failed, 3010 success with a restart still needed,
// 1641 success and the restart started. The launcher returns its elevated copy's code.
DWORD RunSetup(HINSTANCE instance);

}  // namespace tarvo
