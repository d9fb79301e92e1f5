#include "script/Placeholders.h"

#include "base/Process.h"
#include "base/Registry.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"

#include <gtest/gtest.h>
#include <shlobj.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

std::wstring Expand(const wchar_t* text) {
    WString t(text);
    ExpandPlaceholders(t);
    return t.c_str();
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    ::GetSystemDirectoryW(buffer, MAX_PATH);
    return buffer;
}

std::wstring ShellPath(int csidl) {
    wchar_t buffer[MAX_PATH] = {0};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer);
    return buffer;
}

class Placeholders : public ::testing::Test {
protected:
    void SetUp() override {
        savedDestination_ = DestinationFolder;
        saved64_ = Use64BitProgramFiles;
    }
    void TearDown() override {
        DestinationFolder = savedDestination_;
        Use64BitProgramFiles = saved64_;
    }

private:
    WString savedDestination_;
    bool saved64_ = false;
};

}  // namespace

TEST_F(Placeholders, DestinationInAnyCaseAndWithOrWithoutItsBackslash) {
    for (const wchar_t* folder : {L"C:\\Apps\\Notes", L"C:\\Apps\\Notes\\"}) {
        DestinationFolder = folder;
        for (const wchar_t* text : {L"<Destination>\\notes.exe", L"<destination>\\notes.exe", L"<DESTINATION>\\notes.exe"}) {
            EXPECT_EQ(L"C:\\Apps\\Notes\\notes.exe", Expand(text)) << folder << " " << text;
        }
    }
    // An empty folder becomes "\", and the text then begins like a network path: callers must
    // not act on a path built from an unknown destination.
    DestinationFolder = L"";
    EXPECT_EQ(L"\\\\a.exe", Expand(L"<Destination>\\a.exe"));
}

TEST_F(Placeholders, SystemAndShellFolders) {
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t wow64[MAX_PATH];
    ::GetSystemWow64DirectoryW(wow64, MAX_PATH);
    struct Case {
        const wchar_t* text;
        std::wstring expected;
    } cases[] = {
        {L"<System>x.dll", SystemFolder() + L"\\x.dll"},
        {L"<SystemWOW64>x.dll", std::wstring(wow64) + L"\\x.dll"},
        {L"<Windows>", std::wstring(windows) + L"\\"},
        {L"<DeskTop>\\a.lnk", ShellPath(CSIDL_DESKTOPDIRECTORY) + L"\\a.lnk"},
        {L"<Start Programs>\\P\\a.lnk", ShellPath(CSIDL_COMMON_PROGRAMS) + L"\\P\\a.lnk"},
        {L"<Startup>\\a.lnk", ShellPath(CSIDL_STARTUP) + L"\\a.lnk"},
        {L"<MyDocuments>\\d.txt", ShellPath(CSIDL_PERSONAL) + L"\\d.txt"},
        {L"<QuickLaunch>\\q.lnk", ShellPath(CSIDL_APPDATA) + L"\\Microsoft\\Internet Explorer\\Quick Launch\\q.lnk"},
        {L"<Unknown>\\a", L"<Unknown>\\a"},
        {L"C:\\a\\\\b\\\\\\c", L"C:\\a\\b\\\\c"},  // three in a row become two
        {L"\\\\server\\share\\<Destination>", L"\\\\server\\share\\C:\\d\\"},
    };
    DestinationFolder = L"C:\\d";
    for (const auto& c : cases) EXPECT_EQ(c.expected, Expand(c.text)) << c.text;
}

TEST_F(Placeholders, ProgramFilesFollowsThe64BitChoice) {
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    std::wstring x86 = ReadString(HKEY_LOCAL_MACHINE, key, L"ProgramFilesDir").c_str();
    std::wstring x64 = ReadString(HKEY_LOCAL_MACHINE, key, L"ProgramW6432Dir").c_str();
    ASSERT_FALSE(x86.empty());
    Use64BitProgramFiles = false;
    EXPECT_EQ(x86 + L"\\App", Expand(L"<Program Files>\\App"));
    Use64BitProgramFiles = true;
    EXPECT_EQ((x64.empty() ? x86 : x64) + L"\\App", Expand(L"<Program Files>\\App"));
}

TEST_F(Placeholders, LaterStepsSeeEarlierSubstitutions) {
    // The destination is substituted before "<Program Files>", which it may still contain.
    Use64BitProgramFiles = false;
    DestinationFolder = L"<Program Files>\\Notes";
    std::wstring programFiles = Expand(L"<Program Files>");
    EXPECT_EQ(programFiles + L"Notes\\a.exe", Expand(L"<Destination>\\a.exe"));
    // A destination holding "<System>" is not expanded: that step has already run.
    DestinationFolder = L"<System>";
    EXPECT_EQ(L"<System>\\a", Expand(L"<Destination>\\a"));
}

TEST_F(Placeholders, SourceOnlyWhileAPackageIsLoaded) {
    MessageRecorder boxes;
    EXPECT_EQ(L"<Source>\\a", Expand(L"<Source>\\a"));
    Bytes bytes = Archive({Entry("setup.dat", "s")});
    bool failed = true;
    SetupPackage package(failed, bytes.data(), bytes.size());
    CurrentPackage = &package;
    EXPECT_EQ(std::wstring(package.TempInstallPath().c_str()) + L"a", Expand(L"<Source>\\a"));
    CurrentPackage = nullptr;
}

TEST(IsAdministrator, CreatesAndRemovesItsProbeFile) {
    // Wine runs every program with full rights.
    EXPECT_TRUE(IsAdministrator());
    EXPECT_FALSE(Exists(Expand(L"<Program Files>\\TarvoInstaller.TMP")));
}
