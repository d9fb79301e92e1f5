#pragma once
// Registry values that the script writes ("[Registry]") and the App Paths entry of installed
// programs.
#include "base/Text.h"
#include "script/SetupScript.h"

namespace tarvo {

// Reads the five value lines of a "[Registry]" section (root, key path, type, value name, data)
// from `script`, positioned just after the header, and writes the value. Roots "HKCR", "HKCU",
// "HKLM", "HKCC", "HKU" and types "DWORD", "BINARY" are whole lines compared with case; any other
// type is text. Values under HKEY_CURRENT_USER other than BINARY ones are handed to the launcher
// (the user's own hive); BINARY data is the content of the package entry that the data line
// names. Failed writes are silent; a missing BINARY entry is reported to the user (`owner`).
void WriteRegistryEntry(SetupScript& script, HWND owner);

// For an installed ".exe" (any case), writes
// HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\<file name>: the default value is the
// full path and "Path" its folder with the trailing "\". Anything else writes nothing.
void RegisterAppPath(const WString& destination);

}  // namespace tarvo
