#pragma once
// The uninstall record that an installation leaves behind:
// - the uninstaller, a copy of the running installer at UninstallerPath() (shared by every
//   product installed with this program);
// - the data file RecordFilePath(): the product's setup script, line for line, with the chosen
//   install folder after every "[Install To]" header (8-bit text, every line ended by CR LF);
// - HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\<ProjectName>", which lists the
//   product among the installed programs and starts the uninstaller;
// - the remembered install folder under "Software\TarvoInstall" when the script asks for it.
// RecordFilePath and UninstallerPath live in script/Record.h.
#include "base/Text.h"

#include <cstdint>
#include <vector>

namespace tarvo {

// Set by the first WriteUninstallRecord of the process; every later call then does nothing.
extern bool UninstallRecordWritten;

// Writes the whole record once per process, unless the script said "[NoUnInstall]". Every part
// is written whatever happens to the others; failures are silent.
void WriteUninstallRecord();

// One value of the product's "Uninstall" key.
struct UninstallValue {
    WString name;
    DWORD type;  // REG_SZ or REG_DWORD
    WString text;
    uint32_t number;
};
// The values of the key, in the order they are written, from the current product settings:
// "DisplayName", "Publisher" and "DisplayVersion" (each only when known), "InstallLocation",
// "DisplayIcon", "NoModify", "NoRepair", "EstimatedSize", "UninstallString",
// "QuietUninstallString", "InstallTo".
std::vector<UninstallValue> UninstallKeyValues();

}  // namespace tarvo
