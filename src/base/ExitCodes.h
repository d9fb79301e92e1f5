#pragma once
// Exit codes of the installer and the uninstaller, as Windows Installer uses them and deployment
// tools (winget, Intune, SCCM) read them.
#include "base/Win.h"

namespace tarvo {

constexpr DWORD kExitSuccess = 0;
constexpr DWORD kExitUserCancelled = 1602;   // ERROR_INSTALL_USEREXIT
constexpr DWORD kExitFailed = 1603;          // ERROR_INSTALL_FAILURE
constexpr DWORD kExitRestartStarted = 1641;  // ERROR_SUCCESS_REBOOT_INITIATED
constexpr DWORD kExitRestartNeeded = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr DWORD kExitRestartRequired = kExitRestartNeeded;

}  // namespace tarvo
