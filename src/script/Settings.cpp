#include "script/Settings.h"

#include "base/Files.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Registry.h"
#include "package/SetupPackage.h"
#include "script/Record.h"
#include "script/SetupScript.h"
#include "script/ShellLink.h"

namespace tarvo {

WString Publisher;
bool SaveInstallPathGiven = false;
WString SaveInstallPathName;
bool UninstallEnabled = true;
bool OfferUninstallOld = true;

void ResetInstallSettings() {
    ProjectName = L"Setup";
    InstallerCaption = L"Setup";
    ProgramVersion.Clear();
    DestinationFolder.Clear();
    InstallSizeKB = 0;
    Use64BitProgramFiles = false;
    Publisher.Clear();
    SaveInstallPathGiven = false;
    SaveInstallPathName.Clear();
    UninstallEnabled = true;
    OfferUninstallOld = true;
}

namespace {

enum SettingsSection {
    kProjectName,
    kProgramVersion,
    kInstallTo,
    kUninstallSettings,
    kSaveInstallPath,
    kLocateInstall,
    kCopyFile,
    kNoUninstall,
    kNoOfferUninstallOld,
    kNoTestAdmin,
    kWindowsVersion,
};

// Indexed by SettingsSection.
const ScriptSection kSettingsSections[] = {
    {L"[Project Name]", 1},      {L"[ProgramVersion]", 1},      {L"[Install To]", 1},
    {L"[UninstallSettings]", 1}, {L"[SaveInstallPath]", 1},     {L"[LocateInstall]", 1},
    {L"[CopyFile]", 2},          {L"[NoUnInstall]", 0},         {L"[NoOfferUninstallOld]", 0},
    {L"[NoTestAdmin]", 0},       {L"[Windows Version]", 1},
};
constexpr int kSettingsSectionCount = int(sizeof(kSettingsSections) / sizeof(kSettingsSections[0]));

const ScriptSection kRecordSections[] = {{L"[Install To]", 1}};

const wchar_t kRememberedFolderKey[] = L"Software\\TarvoInstall";
const wchar_t kWin64Marker[] = L"__TVI_WIN64";

// Every folder source proposes its folder through here, so the command line has the last word.
void ProposeFolder(SettingsHost& host, const WString& folder, const WString& commandLine) {
    DestinationFolder = folder;
    host.FolderCopy() = folder;
    ApplyFolderSwitch(host, commandLine);
}

// True when every ".exe" and ".dll" destination (markers removed) has its "__TVI_WIN64" twin
// among the destinations as written: the package carries a complete 64-bit set. A package
// without programs or libraries has nothing to miss.
bool EveryProgramHasWin64Twin(const StringList& destinations) {
    for (int i = 0; i < destinations.Count(); ++i) {
        WString path = destinations.At(i);
        StripMarkers(path);
        WString extension = PathExtension(path);
        if (!EqualsIgnoreCase(extension, L".eXe") && !EqualsIgnoreCase(extension, L".dLl")) continue;
        WString twin = PathWithoutExtension(path);
        twin += kWin64Marker;
        twin += extension;
        if (!destinations.Contains(twin, true)) return false;
    }
    return true;
}

}  // namespace

void ApplyFolderSwitch(SettingsHost& host, const WString& commandLine) {
    static const WString kPlainSwitch(L"<installto>");
    static const WString kDashSwitch(L"--installto");
    WString& copy = host.FolderCopy();
    int pos = commandLine.Find(kPlainSwitch, 1);
    if (pos != 0) copy = commandLine.From(pos + kPlainSwitch.Count());
    pos = commandLine.Find(kDashSwitch, 1);
    if (pos != 0) {
        copy = commandLine.From(pos + kDashSwitch.Count());
        if (copy.At(1) == L'=') copy.RemoveAt(1);
        if (copy.At(1) == L'"') copy.RemoveAt(1);
        if (copy.At(kLastPosition) == L'"') copy.RemoveLast(1);
    }
    DestinationFolder = copy;
}

void ApplyFolderSwitch(SettingsHost& host) { ApplyFolderSwitch(host, WString(::GetCommandLineW())); }

bool CheckWindowsVersion(uint32_t required) {
    if (required != 4) return true;
    Use64BitProgramFiles = true;
    if (RunningUnderWow64) return true;
    ShowMessageBox(nullptr, FormatText(L"This install requires Windows %s or above.", L"64 bit"), InstallerCaption,
                   MB_OK | MB_ICONERROR | MB_TOPMOST);
    return false;
}

void ReadInstallSettings(SettingsHost& host, const WString& commandLine) {
    SetupScript script(kSettingsSections, kSettingsSectionCount);
    StringList destinations;
    bool folderFound = false;
    uint64_t totalBytes = 0;

    // Without a package there is no temporary install folder: a bare "setup.dat" would name a
    // file in whatever the current folder happens to be.
    WString scriptFolder = TempInstallPath();
    if (!scriptFolder.Empty() && script.Open(scriptFolder + WString(L"setup.dat"))) {
        bool reading = true;
        while (reading) {
            const ScriptSection* section = script.NextSection();
            if (!section) break;
            switch (SettingsSection(section - kSettingsSections)) {
            case kProjectName:
                ProjectName = script.ReadValue();
                InstallerCaption = FormatText(L"%s Installer", ProjectName.c_str());
                break;
            case kProgramVersion:
                ProgramVersion = script.ReadValue();
                break;
            case kInstallTo:
                ProposeFolder(host, script.ReadValue(), commandLine);
                break;
            case kUninstallSettings:
                Publisher = script.ReadValue();
                break;
            case kSaveInstallPath: {
                SaveInstallPathGiven = true;
                SaveInstallPathName = script.ReadValue();
                if (SaveInstallPathName.Empty()) break;
                WString remembered = ReadString(HKEY_CURRENT_USER, kRememberedFolderKey, SaveInstallPathName);
                if (remembered.Empty()) break;
                ProposeFolder(host, remembered, commandLine);
                folderFound = true;
                break;
            }
            case kLocateInstall: {
                WString target;
                if (!ShortcutTarget(script.ReadValue(), target) || target.Empty()) break;
                ProposeFolder(host, PathFolder(target), commandLine);
                folderFound = true;
                break;
            }
            case kCopyFile: {
                WString entryName = script.ReadValue();
                WString destination = script.ReadValue();
                PackageEntry entry;
                if (CurrentPackage && CurrentPackage->Archive().FindEntry(entryName, &entry)) {
                    totalBytes += entry.unpackedSize;
                }
                destinations.Add(destination);
                break;
            }
            case kNoUninstall:
                UninstallEnabled = false;
                break;
            case kNoOfferUninstallOld:
                OfferUninstallOld = false;
                break;
            case kNoTestAdmin:
                break;
            case kWindowsVersion:
                if (!CheckWindowsVersion(uint32_t(ParseInteger(script.ReadValue())))) {
                    host.EndDialog();
                    reading = false;
                }
                break;
            }
        }
    }

    InstallSizeKB = int64_t(totalBytes / 1024);

    // A reinstall proposes the folder the product was installed to, unless the remembered value
    // or a located shortcut already gave one.
    if (!folderFound) {
        SetupScript record(kRecordSections, 1);
        if (record.Open(RecordFilePath())) {
            while (record.NextSection()) ProposeFolder(host, record.ReadValue(), commandLine);
        }
    }

    if (RunningUnderWow64 && EveryProgramHasWin64Twin(destinations)) Use64BitProgramFiles = true;

    host.UpdateFolder();
    script.Close();
}

void ReadInstallSettings(SettingsHost& host) { ReadInstallSettings(host, WString(::GetCommandLineW())); }

}  // namespace tarvo
