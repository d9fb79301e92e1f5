#pragma once
// End-to-end tests: real installers made by the real builder (tarvo-build.exe with the
// tarvo-setup.exe of this build tree as stub), run as separate processes, the way a user, a
// deployment tool or Windows' list of installed programs starts them. The outcome is read back
// from the machine with plain Win32 calls (files, registry, shortcuts, processes, exit codes),
// never through the installer's own code.
//
// Every product these tests install is named "Tarvo E2E ..." so that `ForgetProduct` can put the
// machine back the way it was.
#include "common/WinTestSupport.h"
#include "dialogs/DialogTestSupport.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::e2e {

using testing::DriverProcess;
using testing::QuoteArgument;
using testing::ReadWholeFile;

// A path of the build tree (given to the compiler as a Linux path) as this Windows process sees
// it: the drive Z: is the Linux root under wine.
inline std::wstring FromBuildTree(const char* linuxPath) {
    std::wstring path = L"Z:";
    for (const char* c = linuxPath; *c; ++c) path += *c == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*c));
    return path;
}

inline std::wstring DistFile(const wchar_t* name) { return FromBuildTree(TARVO_E2E_DIST_DIR) + L"\\" + name; }
inline std::wstring FixtureFile(const wchar_t* name) { return FromBuildTree(TARVO_E2E_FIXTURE_DIR) + L"\\" + name; }
inline std::wstring NotesProject() { return FromBuildTree(TARVO_E2E_NOTES_PROJECT); }

// Folders of this machine, as the installer's placeholders name them.
inline std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {0};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
inline std::wstring SystemFolder() {
    wchar_t path[MAX_PATH] = {0};
    ::GetSystemDirectoryW(path, MAX_PATH);
    return path;
}
inline std::wstring ProgramFiles() { return ShellFolder(CSIDL_PROGRAM_FILES); }
inline std::wstring StartPrograms() { return ShellFolder(CSIDL_COMMON_PROGRAMS); }
inline std::wstring Desktop() { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? char(c) : '?';
    return out;
}

// Polls `done` every `pollMs` until it holds or `limitMs` has passed; its last answer. The limit
// only ends a broken run: every wait of these tests is for a state, never for a time.
inline bool WaitUntil(const std::function<bool()>& done, DWORD limitMs = 60000, DWORD pollMs = 50) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - start > limitMs) return done();
        ::Sleep(pollMs);
    }
}

// --- Processes -------------------------------------------------------------------------------

struct ProcessEntry {
    DWORD pid = 0;
    DWORD parent = 0;
    std::wstring exe;  // file name only
};

inline std::vector<ProcessEntry> Processes() {
    std::vector<ProcessEntry> list;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return list;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    ::CloseHandle(snapshot);
    return list;
}

using testing::FileNameOf;
using testing::KillProcessesNamed;
using Program = testing::TestProcess;

// Runs a program to its end; its exit code (1000 when it had to be ended, 1001 when it did not
// start).
inline DWORD RunToEnd(const std::wstring& exe, const std::wstring& arguments, DWORD limitMs = 120000) {
    Program program(exe, arguments);
    return program.Finish(limitMs);
}

// --- Projects and installers -----------------------------------------------------------------

// A publisher's project folder in a scratch folder: the script and the files it names.
class Project {
public:
    // The script as written in a test ("\n" line ends); stored with CRLF, 8-bit as given.
    void Script(const std::string& text) { File(L"setup.dat", WithCrLf(text)); }
    void File(const std::wstring& relative, const std::string& bytes) {
        MakeParents(relative);
        testing::WriteBytes(folder_ / relative, bytes);
    }
    void CopyIn(const std::wstring& relative, const std::wstring& from) {
        MakeParents(relative);
        ASSERT_TRUE(::CopyFileW(from.c_str(), (folder_ / relative).c_str(), FALSE)) << Narrow(from);
    }
    const std::wstring& Path() const { return folder_.Path(); }

    // Builds the installer with the builder and this tree's installer executable as stub; the
    // path of the new executable, empty when the builder failed (the test has failed then).
    std::wstring Build(const std::wstring& name = L"setup.exe") {
        std::wstring out = output_ / name;
        Program builder(DistFile(L"tarvo-build.exe"), L"build " + QuoteArgument(folder_.Path()) + L" --stub " +
                                                           QuoteArgument(DistFile(L"tarvo-setup.exe")) + L" -o " +
                                                           QuoteArgument(out));
        DWORD code = builder.Finish();
        EXPECT_EQ(code, 0u) << builder.Output();
        return code == 0 && testing::Exists(out) ? out : std::wstring();
    }
    // Where Build puts its executables (outside the project folder, so that a container project
    // can take them in with CopyIn).
    std::wstring OutputFolder() const { return output_.Path(); }

    static std::string WithCrLf(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
            out += text[i];
        }
        return out;
    }

private:
    void MakeParents(const std::wstring& relative) {
        for (size_t at = relative.find(L'\\'); at != std::wstring::npos; at = relative.find(L'\\', at + 1)) {
            ::CreateDirectoryW((folder_ / relative.substr(0, at)).c_str(), nullptr);
        }
    }
    testing::ScratchFolder folder_;
    testing::ScratchFolder output_;
};

// An installer that a test suite builds once (in SetUpTestSuite) and drops after its last test.
class SuiteInstaller {
public:
    // A fresh, empty project folder to fill before Build.
    e2e::Project& Start() {
        project_ = std::make_unique<e2e::Project>();
        setup_.clear();
        return *project_;
    }
    // The project it is built from (Start first).
    e2e::Project& Source() { return *project_; }
    // Builds the project; the installer's path, empty when the builder failed.
    const std::wstring& Build(const std::wstring& name) {
        setup_ = project_->Build(name);
        return setup_;
    }
    const std::wstring& Setup() const { return setup_; }
    void Drop() {
        project_.reset();
        setup_.clear();
    }

private:
    std::unique_ptr<e2e::Project> project_;
    std::wstring setup_;
};

// Copies the example product's project, as the example build assembled it, into `project`: the
// builder never writes into the build tree's own folder.
inline void CopyNotesProject(Project& project) {
    for (const wchar_t* file : {L"setup.dat", L"setup.lic", L"setup.bmp", L"readme.txt", L"bin\\notes.exe",
                                L"bin\\notes-shell.dll", L"data\\palette.bin"}) {
        project.CopyIn(file, NotesProject() + L"\\" + file);
    }
}

// --- Registry ----------------------------------------------------------------------------------

inline std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t buffer[4096] = {0};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, buffer,
                       &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

inline std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const wchar_t* value) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

inline std::optional<std::string> ReadBinary(HKEY root, const std::wstring& key, const wchar_t* value) {
    std::string data(65536, '\0');
    DWORD size = DWORD(data.size());
    if (::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_BINARY, nullptr, &data[0], &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

inline bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

inline void DeleteKey(HKEY root, const std::wstring& key) { ::RegDeleteTreeW(root, key.c_str()); ::RegDeleteKeyW(root, key.c_str()); }

inline std::wstring UninstallKey(const std::wstring& product) {
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}
inline std::wstring AppPathKey(const std::wstring& exeName) {
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exeName;
}
inline std::wstring RecordFile(const std::wstring& product) {
    return SystemFolder() + L"\\TarvoUninstall-" + product + L".dat";
}
inline std::wstring SharedUninstaller() { return SystemFolder() + L"\\TarvoUninstall.exe"; }

// --- Shortcuts ---------------------------------------------------------------------------------

// The target of a .lnk file through the shell's link object; empty when it cannot be read.
inline std::wstring ShortcutTarget(const std::wstring& lnk) {
    std::wstring target;
    HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ))) {
                wchar_t path[MAX_PATH] = {0};
                if (SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) target = path;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) ::CoUninitialize();
    return target;
}

// --- Windows of other processes ----------------------------------------------------------------

// WM_GETTEXT reaches controls of other processes, which GetWindowTextW does not.
inline std::wstring TextOf(HWND window) {
    wchar_t buffer[8192] = {0};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                          nullptr);
    return buffer;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {0};
    ::GetClassNameW(window, buffer, 256);
    return buffer;
}

// A real click of the left mouse button at a screen point, as a user's.
inline void ClickAt(POINT point) {
    INPUT input[3] = {};
    for (INPUT& i : input) i.type = INPUT_MOUSE;
    input[0].mi.dx = LONG(point.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1));
    input[0].mi.dy = LONG(point.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SetCursorPos(point.x, point.y);
    ::SendInput(3, input, sizeof(INPUT));
}

// The screen's DPI as this desktop reports it.
inline int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

// --- Screenshots -------------------------------------------------------------------------------

// The folder where tests leave screenshots for people to look at: <build tree>/screenshots.
inline std::wstring ScreenshotFolder() {
    std::wstring folder = FromBuildTree(TARVO_E2E_BUILD_DIR) + L"\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Saves what the screen shows inside `window` (its frame included) as a 24-bit BMP named `name`
// in ScreenshotFolder(); the full path, empty when nothing could be captured. The window should
// be in front: this copies the screen, the way a user sees it.
inline std::wstring SaveScreenshot(HWND window, const std::wstring& name) {
    RECT r = {};
    if (!::GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return L"";
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::wstring path;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        ::GdiFlush();
        ::SelectObject(memory, old);
        const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + stride * DWORD(height);
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
        bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        bytes.append(static_cast<const char*>(bits), stride * DWORD(height));
        path = ScreenshotFolder() + L"\\" + name;
        testing::WriteBytes(path, bytes);
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return path;
}

// --- Clean-up ----------------------------------------------------------------------------------

using testing::RemoveTree;

// Puts the machine back as it was before a product was installed: its folder under Program
// Files, its Start menu folder and desktop shortcut, its registry key under Software (both
// hives), its App Paths keys (`exeNames`: the programs it installs), its remembered folder, its
// uninstall record. Runs before and after a test, so that a failed run leaves nothing for the next.
inline void ForgetProduct(const std::wstring& product, const std::vector<std::wstring>& exeNames = {}) {
    for (const std::wstring& exe : exeNames) DeleteKey(HKEY_LOCAL_MACHINE, AppPathKey(exe));
    RemoveTree(ProgramFiles() + L"\\" + product);
    RemoveTree(StartPrograms() + L"\\" + product);
    ::DeleteFileW((Desktop() + L"\\" + product + L".lnk").c_str());
    DeleteKey(HKEY_LOCAL_MACHINE, L"Software\\" + product);
    DeleteKey(HKEY_CURRENT_USER, L"Software\\" + product);
    DeleteKey(HKEY_LOCAL_MACHINE, UninstallKey(product));
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvoInstall", product.c_str());
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\TarvoInstall", product.c_str());
    ::DeleteFileW(RecordFile(product).c_str());
}

// A suite around the example product's installer, built once for the suite. Every test starts
// and ends with the product forgotten; a suite that leaves more behind extends Forget.
class NotesSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        installer_.Start();
        CopyNotesProject(installer_.Source());
        installer_.Build(L"notes-setup.exe");
    }
    static void TearDownTestSuite() { installer_.Drop(); }
    void SetUp() override {
        ASSERT_FALSE(installer_.Setup().empty()) << "the installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    virtual void Forget() { ForgetProduct(L"Tarvo Notes", {L"notes.exe"}); }

    // A file of the project the installer was built from, e.g. L"bin\\notes.exe".
    static std::wstring ProjectFile(const wchar_t* name) { return installer_.Source().Path() + L"\\" + name; }

    static inline SuiteInstaller installer_;
};

}  // namespace tarvo::e2e
