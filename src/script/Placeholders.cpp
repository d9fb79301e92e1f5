#include "script/Placeholders.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/Process.h"
#include "base/Registry.h"
#include "package/SetupPackage.h"

#include <shlobj.h>

namespace tarvo {

namespace {

constexpr UINT kFolderBuffer = MAX_PATH;  // the system's folder answers are taken into 260 units

void Substitute(WString& text, const wchar_t* placeholder, WString folder) {
    if (folder.At(kLastPosition) != L'\\') folder.Append(L'\\');
    ReplaceAll(text, placeholder, folder, true);
}

// Asks the shell for a special folder; the empty text when it has none.
WString ShellFolder(int csidl) {
    wchar_t buffer[kFolderBuffer] = {0};
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, csidl, &items)) && items) {
        if (!::SHGetPathFromIDListW(items, buffer)) buffer[0] = 0;
        IMalloc* rawMalloc = nullptr;
        if (SUCCEEDED(::SHGetMalloc(&rawMalloc)) && rawMalloc) {
            ComRef<IMalloc> shellMalloc(rawMalloc);
            shellMalloc->Free(items);
        }
    }
    return WString(buffer);
}

// Whether `text` holds `placeholder`, matched as the substitution matches it. The folder behind
// a placeholder is asked for only then: the shell's answers are slow, and an installation expands
// two paths for every file it places.
bool Holds(const WString& text, const wchar_t* placeholder) {
    return text.Upper().Contains(WString(placeholder).Upper());
}

void SubstituteShellFolder(WString& text, const wchar_t* placeholder, int csidl, const wchar_t* below = nullptr) {
    if (!Holds(text, placeholder)) return;
    WString folder = ShellFolder(csidl);
    if (folder.Empty()) return;
    if (below) {
        if (folder.At(kLastPosition) != L'\\') folder.Append(L'\\');
        folder.Append(below);
    }
    Substitute(text, placeholder, folder);
}

}  // namespace

void ExpandPlaceholders(WString& text) {
    wchar_t buffer[kFolderBuffer] = {0};

    UINT n = ::GetSystemDirectoryW(buffer, kFolderBuffer);
    if (n >= kFolderBuffer) buffer[0] = 0;
    Substitute(text, L"<System>", buffer);
    // On 32-bit Windows the call fails and the buffer keeps the system folder.
    n = ::GetSystemWow64DirectoryW(buffer, kFolderBuffer);
    if (n >= kFolderBuffer) buffer[0] = 0;
    Substitute(text, L"<SystemWOW64>", buffer);
    n = ::GetWindowsDirectoryW(buffer, kFolderBuffer);
    if (n >= kFolderBuffer) buffer[0] = 0;
    Substitute(text, L"<Windows>", buffer);

    // The destination is the user's choice and may be longer than a system folder answer; it is
    // substituted whole rather than cut to 260 units.
    Substitute(text, L"<Destination>", DestinationFolder);

    if (Holds(text, L"<Program Files>")) {
        const wchar_t* versionKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
        WString programFiles;
        if (Use64BitProgramFiles) programFiles = ReadString(HKEY_LOCAL_MACHINE, versionKey, L"ProgramW6432Dir");
        if (programFiles.Empty()) programFiles = ReadString(HKEY_LOCAL_MACHINE, versionKey, L"ProgramFilesDir");
        Substitute(text, L"<Program Files>", programFiles);
    }

    SubstituteShellFolder(text, L"<Startup>", CSIDL_STARTUP);
    SubstituteShellFolder(text, L"<Start Programs>", CSIDL_COMMON_PROGRAMS);
    SubstituteShellFolder(text, L"<DeskTop>", CSIDL_DESKTOPDIRECTORY);
    SubstituteShellFolder(text, L"<QuickLaunch>", CSIDL_APPDATA, L"Microsoft\\Internet Explorer\\Quick Launch\\");
    SubstituteShellFolder(text, L"<MyDocuments>", CSIDL_PERSONAL);

    if (CurrentPackage) Substitute(text, L"<Source>", CurrentPackage->TempInstallPath());

    bool network = text.At(1) == L'\\' && text.At(2) == L'\\';
    ReplaceAll(text, L"\\\\", L"\\", false);
    if (network) text.Prepend(L'\\');
}

bool IsAdministrator() {
    WString probe(L"<Program Files>\\TarvoInstaller.TMP");
    ExpandPlaceholders(probe);
    DiskFile file;
    bool created = file.Open(probe, GENERIC_WRITE, CREATE_ALWAYS, false);
    file.Close();
    if (created) DeleteFile(probe);
    return created;
}

}  // namespace tarvo
