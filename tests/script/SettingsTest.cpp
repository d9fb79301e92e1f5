#include "script/Settings.h"

#include "base/Process.h"
#include "base/Registry.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"
#include "script/Record.h"
#include "script/ShellLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const wchar_t kRememberedKey[] = L"Software\\TarvoInstall";
const wchar_t kPlainCommandLine[] = L"\"C:\\Setup\\setup.exe\"";

// The wizard as the settings pass sees it: its own folder copy, and what it was asked to do.
class FakeWizard : public SettingsHost {
public:
    WString& FolderCopy() override { return copy; }
    void EndDialog() override { ++endCount; }
    void UpdateFolder() override {
        ++updateCount;
        folderAtUpdate = DestinationFolder.c_str();
    }

    WString copy;
    int endCount = 0;
    int updateCount = 0;
    std::wstring folderAtUpdate;
};

std::wstring Unique(const wchar_t* stem) {
    static unsigned counter = 0;
    return std::wstring(stem) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
}

std::string Narrow(const std::wstring& text) { return ToAnsi(text.c_str()); }

void ReplaceToken(std::wstring& text, const std::wstring& token, const std::wstring& value) {
    for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
}

// An entry whose directory declares `size` unpacked bytes; the settings pass never decodes it.
FixtureEntry Sized(const std::string& name, uint64_t size) { return FixtureEntry{name, LzmaStream("", 0x5D, size)}; }

std::string CopyFile(const std::string& entry, const std::string& destination) {
    return "[CopyFile]\r\n" + entry + "\r\n" + destination + "\r\n\r\n";
}

// A remembered install folder under HKCU "Software\TarvoInstall", removed again afterwards
// (with the key, when this test made it).
class RememberedFolder {
public:
    RememberedFolder() : name_(Unique(L"SettingsTest")) {}
    ~RememberedFolder() {
        RegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRememberedKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.Receive()) !=
            ERROR_SUCCESS) {
            return;
        }
        ::RegDeleteValueW(key.Get(), name_.c_str());
        DWORD subkeys = 1, values = 1;
        ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr);
        key.Reset();
        if (!keyExisted_ && subkeys == 0 && values == 0) ::RegDeleteKeyW(HKEY_CURRENT_USER, kRememberedKey);
    }
    RememberedFolder(const RememberedFolder&) = delete;
    RememberedFolder& operator=(const RememberedFolder&) = delete;

    void Store(const std::wstring& folder) {
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, kRememberedKey, name_.c_str(), folder.c_str()));
    }
    const std::wstring& Name() const { return name_; }

private:
    static bool KeyExists() {
        RegKey key;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, kRememberedKey, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
    }

    std::wstring name_;
    bool keyExisted_ = KeyExists();
};

// The data file an earlier installation of `project` left in the system folder.
class EarlierRecord {
public:
    EarlierRecord(const std::wstring& project, const std::string& content) {
        wchar_t system[MAX_PATH];
        ::GetSystemDirectoryW(system, MAX_PATH);
        path_ = std::wstring(system) + L"\\TarvoUninstall-" + project + L".dat";
        WriteBytes(path_, content);
    }
    ~EarlierRecord() { ::DeleteFileW(path_.c_str()); }
    EarlierRecord(const EarlierRecord&) = delete;
    EarlierRecord& operator=(const EarlierRecord&) = delete;

    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        comReady_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        savedWow64_ = RunningUnderWow64;
        ResetInstallSettings();
    }
    void TearDown() override {
        package_.reset();
        CurrentPackage = nullptr;
        RunningUnderWow64 = savedWow64_;
        ResetInstallSettings();
        if (comReady_) ::CoUninitialize();
    }

    // Loads a package of `script` as setup.dat plus `files` and runs the settings pass on it.
    FakeWizard Run(const std::string& script, const std::wstring& commandLine = kPlainCommandLine,
                   std::vector<FixtureEntry> files = {}) {
        files.insert(files.begin(), Entry("setup.dat", script));
        bytes_ = Archive(files);
        bool failed = false;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        CurrentPackage = package_.get();
        EXPECT_FALSE(failed);
        FakeWizard wizard;
        ReadInstallSettings(wizard, commandLine.c_str());
        CurrentPackage = nullptr;
        package_.reset();
        return wizard;
    }

    ScratchFolder dir_;

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    bool comReady_ = false;
    BOOL savedWow64_ = FALSE;
};

}  // namespace

TEST_F(SettingsTest, FolderSourcesAndTheirPrecedence) {
    // {P} the unique project name, {R} the remembered value's name, {L} the shortcut, {S} the
    // scratch folder. Each script begins with "[Project Name]" {P}.
    struct Case {
        const char* what;
        std::string script;
        const wchar_t* remembered;  // null: no registry value
        bool earlierRecord;         // a record of an earlier installation proposing F:\Old
        std::wstring commandLine;
        std::wstring expected;
    } cases[] = {
        {"script folder", "[Install To]\r\n<Program Files>\\Notes\r\n", nullptr, false, kPlainCommandLine,
         L"<Program Files>\\Notes"},
        {"a later Install To wins", "[Install To]\r\nC:\\A\r\n\r\n[Install To]\r\nC:\\B\r\n", nullptr, false,
         kPlainCommandLine, L"C:\\B"},
        {"remembered folder beats the script and the record",
         "[Install To]\r\nC:\\A\r\n\r\n[SaveInstallPath]\r\n{R}\r\n", L"E:\\Notes", true, kPlainCommandLine,
         L"E:\\Notes"},
        {"remembered value missing: the earlier record",
         "[Install To]\r\nC:\\A\r\n\r\n[SaveInstallPath]\r\n{R}\r\n", nullptr, true, kPlainCommandLine, L"F:\\Old"},
        {"remembered value missing, no record: the script",
         "[Install To]\r\nC:\\A\r\n\r\n[SaveInstallPath]\r\n{R}\r\n", nullptr, false, kPlainCommandLine, L"C:\\A"},
        {"empty remembered value counts as missing",
         "[Install To]\r\nC:\\A\r\n\r\n[SaveInstallPath]\r\n{R}\r\n", L"", true, kPlainCommandLine, L"F:\\Old"},
        {"sections act in file order: a later Install To replaces the remembered folder",
         "[SaveInstallPath]\r\n{R}\r\n\r\n[Install To]\r\nC:\\A\r\n", L"E:\\Notes", true, kPlainCommandLine,
         L"C:\\A"},
        {"located shortcut gives its target's folder",
         "[Install To]\r\nC:\\A\r\n\r\n[LocateInstall]\r\n{L}\r\n", nullptr, true, kPlainCommandLine,
         L"{S}\\Old Notes\\"},
        {"shortcut missing: the earlier record",
         "[Install To]\r\nC:\\A\r\n\r\n[LocateInstall]\r\n{S}\\missing.lnk\r\n", nullptr, true, kPlainCommandLine,
         L"F:\\Old"},
        {"earlier record without a script folder", "", nullptr, true, kPlainCommandLine, L"F:\\Old"},
        {"<installto> takes the rest of the line", "[Install To]\r\nC:\\A\r\n", nullptr, false,
         L"\"C:\\Setup\\setup.exe\" <installto>D:\\Tools", L"D:\\Tools"},
        {"--installto loses = and its quotes", "[Install To]\r\nC:\\A\r\n", nullptr, false,
         L"\"C:\\Setup\\setup.exe\" --installto=\"D:\\Tools\\Notes\"", L"D:\\Tools\\Notes"},
        {"--installto wins over <installto>", "[Install To]\r\nC:\\A\r\n", nullptr, false,
         L"setup.exe <installto>D:\\A --installto=D:\\B", L"D:\\B"},
        {"text after the folder becomes part of it", "[Install To]\r\nC:\\A\r\n", nullptr, false,
         L"setup.exe --installto=\"D:\\Tools\\Notes\" --silent", L"D:\\Tools\\Notes\" --silent"},
        {"switches are found with case", "[Install To]\r\nC:\\A\r\n", nullptr, false,
         L"setup.exe --INSTALLTO=D:\\X <InstallTo>D:\\Y", L"C:\\A"},
        {"the switch beats a remembered folder", "[Install To]\r\nC:\\A\r\n\r\n[SaveInstallPath]\r\n{R}\r\n",
         L"E:\\Notes", false, L"setup.exe --installto=D:\\X", L"D:\\X"},
        {"the switch beats a located shortcut", "[LocateInstall]\r\n{L}\r\n", nullptr, false,
         L"setup.exe <installto>D:\\X", L"D:\\X"},
        {"the switch beats the earlier record", "", nullptr, true, L"setup.exe --installto=D:\\X", L"D:\\X"},
        {"no folder at all: the switches are not looked at", "[ProgramVersion]\r\n2.1\r\n", nullptr, false,
         L"setup.exe --installto=D:\\X", L""},
    };

    // A real shortcut whose target lies in "{S}\Old Notes".
    const std::wstring shortcut = dir_ / L"Links\\Old Notes.lnk";
    {
        ::CreateDirectoryW((dir_ / L"Old Notes").c_str(), nullptr);
        WriteBytes(dir_ / L"Old Notes\\notes.exe", "MZ");
        ShortcutOptions options;
        options.target = (dir_ / L"Old Notes\\notes.exe").c_str();
        ASSERT_EQ(S_OK, CreateShortcut(shortcut.c_str(), options));
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetInstallSettings();
        const std::wstring project = Unique(L"TarvoSettingsTest");
        RememberedFolder remembered;
        if (c.remembered) remembered.Store(c.remembered);
        std::unique_ptr<EarlierRecord> record;
        if (c.earlierRecord) {
            record = std::make_unique<EarlierRecord>(
                project, "[Project Name]\r\n" + Narrow(project) + "\r\n\r\n[Install To]\r\nF:\\Old\r\n\r\n" +
                             CopyFile("a", "<Destination>\\a.exe"));
        }

        std::wstring script = L"[Project Name]\r\n" + project + L"\r\n\r\n" + FromAnsi(c.script.c_str()).c_str();
        ReplaceToken(script, L"{R}", remembered.Name());
        ReplaceToken(script, L"{L}", shortcut);
        ReplaceToken(script, L"{S}", dir_.Path());
        std::wstring expected = c.expected;
        ReplaceToken(expected, L"{S}", dir_.Path());

        FakeWizard wizard = Run(Narrow(script), c.commandLine);
        EXPECT_EQ(expected, wizard.folderAtUpdate);
        EXPECT_EQ(expected, wizard.copy.c_str());
        EXPECT_EQ(expected, DestinationFolder.c_str());
        EXPECT_EQ(1, wizard.updateCount);
        EXPECT_EQ(0, wizard.endCount);
    }
}

TEST_F(SettingsTest, ApplyFolderSwitchEdgesOfTheQuotedForm) {
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* expected;
    } cases[] = {
        {L"setup.exe --installto=\"D:\\Tools\\Notes\"", L"D:\\Tools\\Notes"},
        {L"setup.exe --installto D:\\Tools", L" D:\\Tools"},  // only "=" right after the switch is removed
        {L"setup.exe --installto=", L""},
        {L"setup.exe --installto=\"", L""},
        {L"setup.exe --installto", L""},
        {L"setup.exe <installto>\"D:\\Q\" ", L"\"D:\\Q\" "},  // the plain form is taken unchanged
        {L"setup.exe", L"kept"},
    };
    for (const Case& c : cases) {
        FakeWizard wizard;
        wizard.copy = L"kept";
        DestinationFolder = L"something else";
        ApplyFolderSwitch(wizard, c.commandLine);
        EXPECT_EQ(std::wstring(c.expected), wizard.copy.c_str()) << c.commandLine;
        EXPECT_EQ(std::wstring(c.expected), DestinationFolder.c_str()) << c.commandLine;
    }
}

TEST_F(SettingsTest, HeaderSectionsSetTheirValues) {
    FakeWizard wizard = Run(
        "[Project Name]\r\nFirst Name\r\n\r\n"
        "[ProgramVersion]\r\n2.1\r\n\r\n"
        "[Project Name]\r\nSample Notes\r\n\r\n"
        "[UninstallSettings]\r\nExample Ltd\r\n\r\n"
        "[SaveInstallPath]\r\n\r\n"
        "[NoTestAdmin]\r\n"
        "[NoUnInstall]\r\n"
        "[NoOfferUninstallOld]\r\n"
        "[ProgramVersion] \r\n9.9\r\n");  // not a header: trailing blank
    EXPECT_STREQ(L"Sample Notes", ProjectName.c_str());
    EXPECT_STREQ(L"Sample Notes Installer", InstallerCaption.c_str());
    EXPECT_STREQ(L"2.1", ProgramVersion.c_str());
    EXPECT_STREQ(L"Example Ltd", Publisher.c_str());
    EXPECT_TRUE(SaveInstallPathGiven);
    EXPECT_STREQ(L"", SaveInstallPathName.c_str());
    EXPECT_FALSE(UninstallEnabled);
    EXPECT_FALSE(OfferUninstallOld);
    EXPECT_EQ(1, wizard.updateCount);
}

TEST_F(SettingsTest, WithoutAScriptEverySettingKeepsItsDefault) {
    FakeWizard wizard;
    CurrentPackage = nullptr;
    ReadInstallSettings(wizard, L"setup.exe --installto=D:\\X");
    EXPECT_STREQ(L"Setup", ProjectName.c_str());
    EXPECT_STREQ(L"Setup", InstallerCaption.c_str());
    EXPECT_STREQ(L"", ProgramVersion.c_str());
    EXPECT_STREQ(L"", Publisher.c_str());
    EXPECT_FALSE(SaveInstallPathGiven);
    EXPECT_TRUE(UninstallEnabled);
    EXPECT_TRUE(OfferUninstallOld);
    EXPECT_EQ(0, InstallSizeKB);
    EXPECT_EQ(L"", wizard.folderAtUpdate);
    EXPECT_EQ(1, wizard.updateCount);

    // A script that names none of the header sections leaves them at their defaults too.
    Run("[Action]\r\nInstalling\r\n");
    EXPECT_STREQ(L"Setup", ProjectName.c_str());
    EXPECT_TRUE(UninstallEnabled);
    EXPECT_TRUE(OfferUninstallOld);
}

TEST_F(SettingsTest, InstallSizeIsTheTotalOfCopiedEntriesInWholeKilobytes) {
    const uint64_t MiB = 1024 * 1024;
    struct Case {
        const char* what;
        std::string script;
        std::vector<FixtureEntry> files;
        int64_t expectedKB;
    } cases[] = {
        {"1023 bytes in total", CopyFile("a", "C:\\a") + CopyFile("b", "C:\\b"), {Sized("a", 1000), Sized("b", 23)}, 0},
        {"5 MiB", CopyFile("big", "C:\\big"), {Sized("big", 5 * MiB)}, 5120},
        {"rounded once, on the total", CopyFile("a", "C:\\a") + CopyFile("b", "C:\\b"),
         {Sized("a", 1023), Sized("b", 1023)}, 1},
        {"entry names ignore case", CopyFile("DATA.BIN", "C:\\d"), {Sized("data.bin", 4096)}, 4},
        {"an entry missing from the package adds nothing", CopyFile("gone", "C:\\g") + CopyFile("a", "C:\\a"),
         {Sized("a", 2048)}, 2},
        {"a packaged file that no CopyFile names adds nothing", CopyFile("a", "C:\\a"),
         {Sized("a", 1024), Sized("extra", 10 * MiB)}, 1},
        {"each CopyFile counts, the same entry twice too", CopyFile("a", "C:\\a") + CopyFile("a", "C:\\b"),
         {Sized("a", 1536)}, 3},
        {"totals beyond 4 GiB", CopyFile("a", "C:\\a") + CopyFile("b", "C:\\b"),
         {Sized("a", 3072 * MiB), Sized("b", 3072 * MiB)}, 6 * 1024 * 1024},
    };
    for (const Case& c : cases) {
        InstallSizeKB = -1;
        Run(c.script, kPlainCommandLine, c.files);
        EXPECT_EQ(c.expectedKB, InstallSizeKB) << c.what;
    }
}

TEST_F(SettingsTest, Complete64BitSetChoosesThe64BitProgramFiles) {
    struct Case {
        const char* what;
        std::vector<std::string> destinations;
        bool expectedOn64Bit;
    } cases[] = {
        {"program with its twin", {"<Destination>\\a.exe", "<Destination>\\a__TVI_WIN64.exe"}, true},
        {"a library without twin", {"<Destination>\\a.exe", "<Destination>\\a__TVI_WIN64.exe", "<Destination>\\b.dll"},
         false},
        {"only text files", {"<Destination>\\readme.txt", "<Destination>\\notes.txt"}, true},
        {"no files at all", {}, true},
        {"twins and extensions ignore case", {"<Destination>\\A.EXE", "<destination>\\a__TVI_WIN64.Exe", "C:\\x.Dll",
                                              "c:\\X__TVI_WIN64.DLL"}, true},
        {"a twin in another folder is no twin", {"<Destination>\\a.exe", "<Destination>\\x64\\a__TVI_WIN64.exe"}, false},
        {"a lone 64-bit variant counts as its own twin", {"<Destination>\\a__TVI_WIN64.exe"}, true},
    };
    for (const Case& c : cases) {
        std::string script;
        int n = 0;
        for (const std::string& d : c.destinations) script += CopyFile("e" + std::to_string(n++), d);
        for (BOOL wow64 : {TRUE, FALSE}) {
            RunningUnderWow64 = wow64;
            Use64BitProgramFiles = false;
            Run(script);
            EXPECT_EQ(wow64 ? c.expectedOn64Bit : false, Use64BitProgramFiles) << c.what << " wow64=" << wow64;
        }
    }

    // An incomplete set leaves the flag as "[Windows Version]" 4 set it.
    RunningUnderWow64 = TRUE;
    Use64BitProgramFiles = false;
    Run("[Windows Version]\r\n4\r\n\r\n" + CopyFile("a", "<Destination>\\a.exe"));
    EXPECT_TRUE(Use64BitProgramFiles);
}

TEST_F(SettingsTest, CheckWindowsVersionMeansSomethingOnlyForFour) {
    for (BOOL wow64 : {TRUE, FALSE}) {
        RunningUnderWow64 = wow64;
        for (uint32_t n : {0u, 1u, 3u, 5u, 64u, 0xFFFFFFFFu}) {
            MessageRecorder boxes(IDOK);
            Use64BitProgramFiles = false;
            EXPECT_TRUE(CheckWindowsVersion(n)) << n;
            EXPECT_FALSE(Use64BitProgramFiles) << n;
            EXPECT_TRUE(boxes.calls.empty()) << n;
        }
    }

    InstallerCaption = L"Sample Notes Installer";
    RunningUnderWow64 = TRUE;
    {
        MessageRecorder boxes(IDOK);
        EXPECT_TRUE(CheckWindowsVersion(4));
        EXPECT_TRUE(Use64BitProgramFiles);
        EXPECT_TRUE(boxes.calls.empty());
    }
    RunningUnderWow64 = FALSE;
    Use64BitProgramFiles = false;
    {
        MessageRecorder boxes(IDOK);
        EXPECT_FALSE(CheckWindowsVersion(4));
        EXPECT_TRUE(Use64BitProgramFiles);
        ASSERT_EQ(1u, boxes.calls.size());
        EXPECT_EQ(L"This install requires Windows 64 bit or above.", boxes.Text(0));
        EXPECT_STREQ(L"Sample Notes Installer", boxes.calls[0].caption.c_str());
        EXPECT_EQ(UINT(MB_OK | MB_ICONERROR | MB_TOPMOST), boxes.calls[0].type);
        EXPECT_EQ(nullptr, boxes.calls[0].owner);
    }
}

TEST_F(SettingsTest, WindowsVersionInTheScript) {
    const std::string tail = "[ProgramVersion]\r\n2.1\r\n\r\n" + CopyFile("late", "<Destination>\\late.txt");
    const std::vector<FixtureEntry> files = {Sized("early", 2048), Sized("late", 4096)};

    // 3 imposes nothing on either Windows; the library without twin keeps the 64-bit choice off.
    for (BOOL wow64 : {TRUE, FALSE}) {
        RunningUnderWow64 = wow64;
        ResetInstallSettings();
        MessageRecorder boxes(IDOK);
        FakeWizard wizard = Run(CopyFile("early", "<Destination>\\a.dll") + "[Windows Version]\r\n3\r\n\r\n" + tail,
                                kPlainCommandLine, files);
        EXPECT_TRUE(boxes.calls.empty());
        EXPECT_EQ(0, wizard.endCount);
        EXPECT_FALSE(Use64BitProgramFiles);
        EXPECT_STREQ(L"2.1", ProgramVersion.c_str());
        EXPECT_EQ(6, InstallSizeKB);
    }

    const std::string script = "[Project Name]\r\nSample Notes\r\n\r\n[Install To]\r\nC:\\Notes\r\n\r\n" +
                               CopyFile("early", "<Destination>\\a.dll") + "[Windows Version]\r\n4\r\n\r\n" + tail;

    // 64-bit Windows: the 64-bit folder is chosen and the reading goes on.
    RunningUnderWow64 = TRUE;
    ResetInstallSettings();
    {
        MessageRecorder boxes(IDOK);
        FakeWizard wizard = Run(script, kPlainCommandLine, files);
        EXPECT_TRUE(boxes.calls.empty());
        EXPECT_EQ(0, wizard.endCount);
        EXPECT_TRUE(Use64BitProgramFiles);
        EXPECT_STREQ(L"2.1", ProgramVersion.c_str());
        EXPECT_EQ(6, InstallSizeKB);
    }

    // 32-bit Windows: the message, the dialog ends, nothing after the section is read; the size
    // so far and the folder update still happen.
    RunningUnderWow64 = FALSE;
    ResetInstallSettings();
    {
        MessageRecorder boxes(IDOK);
        FakeWizard wizard = Run(script, kPlainCommandLine, files);
        ASSERT_EQ(1u, boxes.calls.size());
        EXPECT_EQ(L"This install requires Windows 64 bit or above.", boxes.Text(0));
        EXPECT_STREQ(L"Sample Notes Installer", boxes.calls[0].caption.c_str());
        EXPECT_EQ(UINT(MB_OK | MB_ICONERROR | MB_TOPMOST), boxes.calls[0].type);
        EXPECT_EQ(nullptr, boxes.calls[0].owner);
        EXPECT_EQ(1, wizard.endCount);
        EXPECT_STREQ(L"", ProgramVersion.c_str());
        EXPECT_EQ(2, InstallSizeKB);
        EXPECT_EQ(1, wizard.updateCount);
        EXPECT_EQ(L"C:\\Notes", wizard.folderAtUpdate);
    }
}
