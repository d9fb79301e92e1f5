#include "install/FilePlacement.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/Library.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "install/Programs.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"

#include <vector>

namespace tarvo {

StringList RegistrationQueue;
bool RestartNeeded = false;

namespace {

CommandRunner registrationRunner = nullptr;

// The system's answers when the destination is open in another program.
bool IsInUseError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

bool ExtractToFile(const WString& entryName, const WString& path) {
    return CurrentPackage && CurrentPackage->Archive().ExtractEntry(entryName, path);
}

void SetNormalAttributes(const WString& path) {
    ::SetFileAttributesW(LongPathForm(path, kFolderPathLimit).c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool CopyOver(const WString& source, const WString& destination) {
    return ::CopyFileW(LongPathForm(source, kOpenPathLimit).c_str(), LongPathForm(destination, kOpenPathLimit).c_str(),
                       FALSE) != FALSE;
}

}  // namespace

VersionPair FileVersion(const WString& path) {
    VersionPair version;
    WString systemPath = LongPathForm(path, kOpenPathLimit);
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(systemPath.c_str(), &handle);
    if (size < 2) return version;
    std::vector<uint8_t> block(size);
    if (!::GetFileVersionInfoW(systemPath.c_str(), 0, size, block.data())) return version;
    void* root = nullptr;
    UINT rootSize = 0;
    if (!::VerQueryValueW(block.data(), L"\\", &root, &rootSize) || root == nullptr || rootSize == 0) return version;
    // The fixed information may be shorter than the structure in a damaged resource.
    if (rootSize < sizeof(VS_FIXEDFILEINFO)) return version;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
    version.high = fixed->dwFileVersionMS;
    version.low = fixed->dwFileVersionLS;
    return version;
}

bool ReplaceAtRestart(const WString& newFile, const WString& destination) {
    WString sideName = destination + L"-TVITMP";
    if (!CopyOver(newFile, sideName)) return false;
    WString target = LongPathForm(destination, kOpenPathLimit);
    // Windows carries these out in order at the next start: the old file goes, the copy takes
    // its name.
    if (!::MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    if (!::MoveFileExW(LongPathForm(sideName, kOpenPathLimit).c_str(), target.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return false;
    }
    RestartNeeded = true;
    return true;
}

void QueueForRegistration(const WString& path) {
    WString extension = PathExtension(path);
    if (EqualsIgnoreCase(extension, L".dll") || EqualsIgnoreCase(extension, L".ocx")) RegistrationQueue.Add(path);
}

bool PlaceFile(const WString& entryName, const WString& destinationLine, HWND owner) {
    bool failed = false;
    WString destination = destinationLine;
    ExpandPlaceholders(destination);
    WString entry = entryName;
    ExpandPlaceholders(entry);

    CreateFolderTree(PathFolder(destination));

    TempFileName extracted;
    extracted.Make("Ins");
    if (!ExtractToFile(entry, extracted)) {
        ShowMessageBox(owner, L"This installation file is corrupted, please obtain a new copy.", InstallerCaption,
                       MB_OK | MB_ICONERROR);
        return true;  // `extracted` deletes the temporary file
    }

    const VersionPair existing = FileVersion(destination);
    const VersionPair incoming = FileVersion(extracted);

    if (!(incoming < existing)) {
        SetNormalAttributes(destination);
        for (;;) {
            if (CopyOver(extracted, destination)) break;
            DWORD error = ::GetLastError();
            if (IsInUseError(error)) {
                // The same version in use is the file we would have put there: nothing to do.
                if (existing.IsNone() || existing != incoming) {
                    if (!ReplaceAtRestart(extracted, destination)) {
                        ShowMessageBox(owner,
                                       L"Unable to replace file(s) in use, uninstall existing version, restart Windows "
                                       L"and reinstall.",
                                       InstallerCaption, MB_OK);
                    }
                }
                break;
            }
            int answer = ShowMessageBox(owner, FormatText(L"Cannot install '%s', disk may be full.", destination.c_str()),
                                        InstallerCaption, MB_RETRYCANCEL | MB_ICONERROR | MB_DEFBUTTON2);
            if (answer != IDRETRY) {
                failed = true;
                break;
            }
            SetNormalAttributes(destination);
        }
    }

    // An older package file that was not copied still belongs to the installation, and so does
    // one that waits for the restart: both are registered.
    if (!failed) QueueForRegistration(destination);
    return failed;
}

void RegisterComponents() {
    using RegisterServerFn = HRESULT(STDAPICALLTYPE*)();
    for (int i = 0; i < RegistrationQueue.Count(); ++i) {
        const WString& path = RegistrationQueue.At(i);
        ModuleHandle library = LoadComponentLibrary(path);
        if (library) {
            auto registerServer = reinterpret_cast<RegisterServerFn>(
                reinterpret_cast<void*>(::GetProcAddress(library.Get(), "DllRegisterServer")));
            if (registerServer) registerServer();
            continue;
        }
        // Only the program's own part is expanded: placeholder expansion folds doubled
        // backslashes, which would break the library's path if it named a network share.
        WString regsvr32(L"<Windows>\\system32\\regsvr32.exe");
        ExpandPlaceholders(regsvr32);
        WString commandLine = FormatText(L"\"%s\" /s \"%s\"", regsvr32.c_str(), path.c_str());
        CommandRunner run = registrationRunner ? registrationRunner : &StartCommandLine;
        run(commandLine, true);
    }
    RegistrationQueue.Clear();
}

CommandRunner SetRegistrationCommandRunner(CommandRunner runner) {
    CommandRunner previous = registrationRunner;
    registrationRunner = runner;
    return previous;
}

}  // namespace tarvo
