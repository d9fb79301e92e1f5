#include "install/UninstallRecord.h"

#include "base/CommandLine.h"
#include "base/Files.h"
#include "base/Process.h"
#include "base/Registry.h"
#include "package/SetupPackage.h"
#include "script/Record.h"
#include "script/Settings.h"

namespace tarvo {

bool UninstallRecordWritten = false;

namespace {

const wchar_t kInstallToHeader[] = L"[Install To]";
const wchar_t kRememberedFolderKey[] = L"Software\\TarvoInstall";

void CopyUninstaller() {
    // The running executable is copied through a temporary file of our own.
    TempFileName copy;
    copy.Make("Ins");
    WString self = ModulePath();
    if (self.Empty()) return;
    if (!::CopyFileW(self.c_str(), copy.Path().c_str(), FALSE)) return;
    ::CopyFileW(copy.Path().c_str(), UninstallerPath().c_str(), FALSE);
}

void WriteDataFile() {
    // Without a package there is no script; "setup.dat" alone would name a file in whatever the
    // current folder is.
    const WString scriptFolder = TempInstallPath();
    if (scriptFolder.Empty()) return;
    DiskFile script;
    if (!script.Open(scriptFolder + L"setup.dat", GENERIC_READ, OPEN_EXISTING, false)) return;
    DiskFile data;
    if (!data.Open(RecordFilePath(), GENERIC_WRITE, CREATE_ALWAYS, false)) return;
    WString line;
    while (ReadLine(script, line, false)) {
        if (line == kInstallToHeader) {
            // The folder the script proposed gives way to the one the user chose.
            WString proposed;
            ReadLine(script, proposed, false);
            data.WriteText(line, true);
            data.WriteText(DestinationFolder, true);
        } else {
            data.WriteText(line, true);
        }
    }
}

UninstallValue TextValue(const wchar_t* name, const WString& text) { return {name, REG_SZ, text, 0}; }
UninstallValue NumberValue(const wchar_t* name, uint32_t number) { return {name, REG_DWORD, WString(), number}; }

void WriteUninstallKey() {
    const WString key = FormatText(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", ProjectName.c_str());
    for (const UninstallValue& value : UninstallKeyValues()) {
        if (value.type == REG_DWORD) {
            WriteDword(HKEY_LOCAL_MACHINE, key, value.name, value.number);
        } else {
            WriteString(HKEY_LOCAL_MACHINE, key, value.name, value.text);
        }
    }
    if (SaveInstallPathGiven && !SaveInstallPathName.Empty()) {
        WriteString(HKEY_CURRENT_USER, kRememberedFolderKey, SaveInstallPathName, DestinationFolder);
        WriteString(HKEY_LOCAL_MACHINE, kRememberedFolderKey, SaveInstallPathName, DestinationFolder);
    }
}

}  // namespace

std::vector<UninstallValue> UninstallKeyValues() {
    const WString uninstaller = UninstallerPath();
    const WString recordFile = RecordFilePath();
    // The 32-bit installer on 64-bit Windows sees the redirected system folder as "system32";
    // the icon path is read by 64-bit Explorer, which needs the real one.
    WString icon = uninstaller;
    if (RedirectedSystemFolder) ReplaceAll(icon, L"\\system32\\", L"\\syswow64\\", false);

    std::vector<UninstallValue> values;
    values.push_back(TextValue(L"DisplayName", ProjectName));
    if (!Publisher.Empty()) values.push_back(TextValue(L"Publisher", Publisher));
    if (!ProgramVersion.Empty()) values.push_back(TextValue(L"DisplayVersion", ProgramVersion));
    values.push_back(TextValue(L"InstallLocation", DestinationFolder));
    values.push_back(TextValue(L"DisplayIcon", icon));
    values.push_back(NumberValue(L"NoModify", 1));
    values.push_back(NumberValue(L"NoRepair", 1));
    values.push_back(NumberValue(L"EstimatedSize", uint32_t(InstallSizeKB)));
    values.push_back(
        TextValue(L"UninstallString", FormatText(L"\"%s\" <uninstall>%s", uninstaller.c_str(), recordFile.c_str())));
    // What Windows and deployment tools run to remove the product without questions: no page to
    // wait on, no restart (a file left for the restart gives exit code 3010). "<uninstall>" comes
    // last: the data file's path runs to the end of the command line.
    values.push_back(TextValue(L"QuietUninstallString", FormatText(L"\"%s\" --norestart <Silent> <uninstall>%s",
                                                                   uninstaller.c_str(), recordFile.c_str())));
    values.push_back(TextValue(L"InstallTo", DestinationFolder));
    return values;
}

void WriteUninstallRecord() {
    if (!UninstallEnabled || UninstallRecordWritten) return;
    UninstallRecordWritten = true;
    CopyUninstaller();
    WriteDataFile();
    WriteUninstallKey();
}

}  // namespace tarvo
