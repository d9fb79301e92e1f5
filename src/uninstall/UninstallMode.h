#pragma once
// The uninstaller's start-up: "<uninstall>" (or "--uninstall=") plus the path of the product's
// uninstall data file. With administrator rights it runs the uninstall wizard; without, it starts
// an elevated copy of itself and waits for it.
#include "base/ExitCodes.h"
#include "base/Text.h"

#include <functional>

namespace tarvo {

struct UninstallModeHooks {
    // Runs the uninstall wizard modally and returns the exit code.
    std::function<DWORD()> runWizard;
    // Creates the hidden window that keeps the relaunching process a window owner.
    std::function<void()> showWaitingWindow;
};

// The record path a command line names: everything after "<uninstall>" (or else after
// "--uninstall="), less one leading and one trailing double quote.
WString UninstallRecordArgument(const WString& commandLine);

// Runs the uninstall mode for this process's command line and returns the exit code: the
// wizard's, or the elevated copy's.
DWORD RunUninstallMode(const UninstallModeHooks& hooks);
// The same for a given command line (tests).
DWORD RunUninstallMode(const UninstallModeHooks& hooks, const WString& commandLine);

}  // namespace tarvo
