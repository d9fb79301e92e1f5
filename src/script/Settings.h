#pragma once
// The installer settings: one pass over the setup script's header sections when the install
// wizard opens, plus the command-line folder switches. The product's name, caption, version,
// install folder, size and 64-bit choice live in base/Process.h; the values that only the install
// engine and the uninstall record read live here.
//
// Every value is written on the wizard's thread before the install worker starts and is
// read-only afterwards, so none of them is guarded by a lock.
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

extern WString Publisher;             // "[UninstallSettings]"
extern bool SaveInstallPathGiven;     // any "[SaveInstallPath]" was read
extern WString SaveInstallPathName;   // its value name under HKCU/HKLM "Software\TarvoInstall"
extern bool UninstallEnabled;         // cleared by "[NoUnInstall]"
extern bool OfferUninstallOld;        // cleared by "[NoOfferUninstallOld]"

// Puts every installer setting back to its start-up value, those in base/Process.h included
// (project name and caption "Setup", empty version and folder, size 0, 32-bit program files).
void ResetInstallSettings();

// What the settings pass needs from the install wizard. The wizard keeps its own unexpanded copy
// of the proposed folder (used when the user browses for another one); every folder source of
// the pass writes both that copy and DestinationFolder.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // The wizard's own copy of the proposed install folder, before placeholder expansion.
    virtual WString& FolderCopy() = 0;
    // Ends the wizard's dialog (code 0) when it has a window; the installation must not start.
    virtual void EndDialog() = 0;
    // Expands DestinationFolder in place, shows it and reads the free space of its drive.
    virtual void UpdateFolder() = 0;
};

// Reads the header sections of TempInstallPath() + "setup.dat" in file order, totals the sizes of
// the packaged "[CopyFile]" entries, proposes the folder of an earlier installation of the same
// product when neither a remembered nor a located folder was found, decides the 64-bit program
// files choice, and finally calls host.UpdateFolder(). A "[Windows Version]" that this Windows
// does not meet ends the host's dialog and stops the reading; the steps after it still run.
// `commandLine` is the whole command line of the process (program path included).
void ReadInstallSettings(SettingsHost& host, const WString& commandLine);
void ReadInstallSettings(SettingsHost& host);  // with the process's own command line

// Applies "<installto>" and "--installto" from the whole command line to host.FolderCopy() (the
// text after the switch to the end of the line; "--installto" also loses a leading "=" and a
// surrounding pair of double quotes, and wins over "<installto>"), then sets DestinationFolder
// from the copy. Called by every folder source, so the command line wins over all of them.
void ApplyFolderSwitch(SettingsHost& host, const WString& commandLine);
void ApplyFolderSwitch(SettingsHost& host);  // with the process's own command line

// "[Windows Version]": only 4 means something. It selects the 64-bit program files folder and,
// on 32-bit Windows, tells the user that 64-bit Windows is required and returns false.
bool CheckWindowsVersion(uint32_t required);

}  // namespace tarvo
