#pragma once
// The running Windows version, asked once and kept for the life of the process (not locked).
#include "base/Win.h"

namespace tarvo {

// The true version also for an executable without a compatibility manifest, which GetVersionExW
// would tell Windows 8 (6.2) on every later release.
const OSVERSIONINFOW& WindowsVersion();

// Windows XP (5.1) or later: major above 5, or major 5 with a non-zero minor.
bool IsXpOrLater(const OSVERSIONINFOW& version);
inline bool IsXpOrLater() { return IsXpOrLater(WindowsVersion()); }

}  // namespace tarvo
