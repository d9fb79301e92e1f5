#pragma once
// Symbolic folders in script texts: "<Destination>", "<Program Files>", "<System>" and the rest.
#include "base/Text.h"

namespace tarvo {

// Replaces every placeholder in `text` (names compared ignoring ASCII case) by its folder with a
// trailing backslash, then folds doubled backslashes, keeping a leading "\\" of a network path.
// Folders are looked up afresh on each call. A shell folder that cannot be found leaves its
// placeholder in place; "<Source>" is expanded only while a package is loaded.
void ExpandPlaceholders(WString& text);

// True when this process can create a file in the program files folder: the test for
// administrator rights that the installer and its elevation use.
bool IsAdministrator();

}  // namespace tarvo
