#include "uninstall/UninstallWorker.h"

#include "base/Com.h"
#include "base/Files.h"
#include "base/Library.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "base/Registry.h"
#include "elevation/Launch.h"
#include "install/Programs.h"
#include "script/Placeholders.h"

namespace tarvo {

bool UninstallNeedsRestart = false;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

bool Is(const WString& line, const wchar_t* header) { return Compare(line, header, false) == 0; }

WString Expanded(const WString& text) {
    WString copy(text);
    ExpandPlaceholders(copy);
    return copy;
}

bool NamesDestination(const WString& text) { return text.Upper().Contains(L"<DESTINATION>"); }

HKEY RootKey(const WString& name) {
    if (Is(name, L"HKCR")) return HKEY_CLASSES_ROOT;
    if (Is(name, L"HKCU")) return HKEY_CURRENT_USER;
    if (Is(name, L"HKLM")) return HKEY_LOCAL_MACHINE;
    if (Is(name, L"HKCC")) return HKEY_CURRENT_CONFIG;
    if (Is(name, L"HKU")) return HKEY_USERS;
    return nullptr;
}

bool HasExtension(const WString& path, const wchar_t* extension) {
    return EqualsIgnoreCase(PathExtension(path), extension);
}

WString CleanDestination(const WString& destination) {
    WString path = Expanded(destination);
    ReplaceAll(path, L"__TVI_WIN64", L"", false);
    ReplaceAll(path, L"__TVI_UNICODE", L"", false);
    return path;
}

void RunUninstallAction(const WString& program, const WString& arguments, HWND owner) {
    if (!HasExtension(program, L".exe") && arguments.Empty()) {
        StartWithShell(program, WString(), nullptr, false);
        return;
    }
    WString commandLine = arguments.Empty() ? program : FormatText(L"\"%s\" %s", program.c_str(), arguments.c_str());
    if (!StartCommandLine(commandLine, true)) {
        ShowMessageBox(owner, FormatText(L"Error whilst running '%s'.", program.c_str()), InstallerCaption,
                       MB_OK | MB_ICONERROR);
    }
}

// Drops from `removal` the files that another installed product's record also installs.
void KeepSharedFiles(StringList& removal) {
    WString folder = PathFolder(UninstallRecordPath);
    FileFinder finder(folder + L"TarvoUninstall-*.dat");
    while (finder.Next()) {
        const WString& other = finder.Path();
        if (EqualsIgnoreCase(other, UninstallRecordPath)) continue;
        WString otherFolder = ReadInstallFolder(RecordProductName(other));
        DiskFile record;
        if (!record.Open(other, GENERIC_READ, OPEN_EXISTING, false)) continue;
        WString line, destination;
        while (ReadLine(record, line, false)) {
            if (!Is(line, L"[CopyFile]")) continue;
            ReadLine(record, line, false);  // the entry name
            if (!ReadLine(record, destination, false)) destination.Clear();
            WString saved = DestinationFolder;
            DestinationFolder = otherFolder;
            WString path = CleanDestination(destination);
            DestinationFolder = saved;
            for (int i = removal.Count() - 1; i >= 0; --i) {
                if (EqualsIgnoreCase(removal.At(i), path)) {
                    removal.RemoveAt(i);
                    break;
                }
            }
        }
    }
}

}  // namespace

WString RecordProductName(const WString& recordPath) {
    WString name = PathWithoutExtension(PathFileName(recordPath));
    int dash = name.Find(L'-', 1);
    return dash ? name.From(dash + 1) : name;
}

WString ReadInstallFolder(const WString& productName) {
    WString folder = ReadString(HKEY_LOCAL_MACHINE, FormatText(L"%s\\%s", kUninstallKey, productName.c_str()), L"InstallTo");
    return AddTrailingBackslash(folder);
}

bool IsUnknownInstallFolder(const WString& folder) { return folder == WString(L"\\") || folder.Empty(); }

void UnregisterComponent(const WString& path) {
    if (!HasExtension(path, L".dll") && !HasExtension(path, L".ocx")) return;
    if (ModuleHandle library = LoadComponentLibrary(path)) {
        using Entry = HRESULT(STDAPICALLTYPE*)();
        auto unregister =
            reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(library.Get(), "DllUnregisterServer")));
        if (unregister) unregister();
        return;
    }
    WString command = FormatText(L"\"<Windows>\\system32\\regsvr32.exe\" /u /s \"%s\"", path.c_str());
    ExpandPlaceholders(command);
    StartCommandLine(command, true);
}

void RemoveAppPath(const WString& path) {
    if (HasExtension(path, L".exe")) DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppPathsKey, PathFileName(path));
}

void RemoveEmptyFolders(const WString& folder) {
    static const wchar_t* const kProtected[] = {L"<System>",       L"<Windows>", L"<Program Files>", L"<Startup>",
                                                L"<Start Programs>", L"<DeskTop>", L"<QuickLaunch>",   L"<MyDocuments>"};
    WString text(folder);
    if (text.At(kLastPosition) == L'\\') text.RemoveLast(1);
    while (text.Count() > 3) {
        for (const wchar_t* placeholder : kProtected) {
            if (EqualsIgnoreCase(text, RemoveTrailingBackslashes(Expanded(placeholder)))) return;
        }
        ::RemoveDirectoryW(LongPathForm(text, kFolderPathLimit).c_str());
        int slash = text.FindLast(L'\\');
        if (slash == 0) return;
        text = text.Left(slash - 1);
    }
}

void UninstallWorker(HWND owner) {
    ComApartment com;
    ExpandPlaceholders(UninstallRecordPath);
    // A product without a recorded folder would make "<Destination>\a.exe" name "\a.exe" at the
    // root of the current drive: such paths are never acted on.
    bool folderUnknown = IsUnknownInstallFolder(DestinationFolder);
    DiskFile record;
    if (record.Open(UninstallRecordPath, GENERIC_READ, OPEN_EXISTING, false)) {
        int32_t total = 0;
        WString line;
        while (ReadLine(record, line, false)) {
            if (Is(line, L"[CopyFile]")) {
                ++total;
            } else if (Is(line, L"[UninstallAction]")) {
                WString program, arguments;
                if (!ReadLine(record, program, false)) program.Clear();
                if (!ReadLine(record, arguments, false)) arguments.Clear();
                if (folderUnknown && (NamesDestination(program) || NamesDestination(arguments))) continue;
                RunUninstallAction(Expanded(program), Expanded(arguments), owner);
            }
        }

        record.Seek(0);
        StringList removal;
        StringList values;
        auto readValues = [&](int count) {
            values.Clear();
            for (int i = 0; i < count; ++i) {
                WString value;
                if (!ReadLine(record, value, false)) value.Clear();
                values.Add(value);
            }
        };
        while (ReadLine(record, line, false)) {
            if (Is(line, L"[CopyFile]")) {
                readValues(2);
                if (folderUnknown && NamesDestination(values.At(1))) continue;
                WString path = CleanDestination(values.At(1));
                if (!removal.Contains(path, true)) removal.Add(path);
            } else if (Is(line, L"[CreateIcon]")) {
                readValues(3);
                if (folderUnknown && NamesDestination(values.At(1))) continue;
                removal.Add(Expanded(values.At(1)));
            } else if (Is(line, L"[Registry]")) {
                readValues(5);
                HKEY root = RootKey(values.At(0));
                if (!root) continue;
                if (RegKey key = OpenKey(root, Expanded(values.At(1)), KEY_ALL_ACCESS)) {
                    ::RegDeleteValueW(key.Get(), values.At(3).c_str());
                }
            }
        }

        KeepSharedFiles(removal);
        for (int i = 0; i < removal.Count(); ++i) UnregisterComponent(removal.At(i));
        for (int i = 0; i < removal.Count(); ++i) {
            const WString& path = removal.At(i);
            if (PathExists(path) && !DeleteFile(path)) {
                UninstallNeedsRestart = true;
                ::MoveFileExW(LongPathForm(path, kOpenPathLimit).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
            RemoveAppPath(path);
            RemoveEmptyFolders(PathFolder(path));
            PublishProgress(i + 1, total);
        }
    }
    record.Close();
    ::DeleteFileW(LongPathForm(UninstallRecordPath, kOpenPathLimit).c_str());
    if (!ProjectName.Empty()) DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey, ProjectName);
}

}  // namespace tarvo
