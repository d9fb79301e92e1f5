#include "uninstall/UninstallWorker.h"

#include "base/Files.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "base/Registry.h"
#include "common/WinTestSupport.h"
#include "script/Placeholders.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

std::wstring Unique(const wchar_t* stem) {
    static int n = 0;
    return std::wstring(stem) + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name) {
    return ::RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string Narrow(const std::wstring& w) { return WString(w.c_str()).Narrow(); }

// One installed product: a record file in `records`, its Uninstall key and its files.
struct Product {
    std::wstring name;
    std::wstring record;

    Product(const ScratchFolder& records, const std::wstring& folder, const std::string& script, bool withFolder = true)
        : name(Unique(L"TarvoUn ")), record(records / (L"TarvoUninstall-" + name + L".dat")) {
        WriteBytes(record, script);
        std::wstring key = std::wstring(kUninstallKey) + L"\\" + name;
        WriteString(HKEY_LOCAL_MACHINE, key.c_str(), L"DisplayName", name.c_str());
        if (withFolder) WriteString(HKEY_LOCAL_MACHINE, key.c_str(), L"InstallTo", folder.c_str());
    }
    ~Product() { DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey, name.c_str()); }

    // What the uninstall start-up sets before the worker runs.
    void Select() const {
        UninstallRecordPath = record.c_str();
        ProjectName = RecordProductName(UninstallRecordPath);
        DestinationFolder = ReadInstallFolder(ProjectName);
    }
    std::wstring Key() const { return std::wstring(kUninstallKey) + L"\\" + name; }
};

class UninstallFixture : public ::testing::Test {
protected:
    void SetUp() override {
        UninstallNeedsRestart = false;
        ResetProgress();
        InstallerCaption = L"UnInstaller";
        testKey_ = L"Software\\TarvoTest\\" + Unique(L"un");
    }
    void TearDown() override {
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\TarvoTest", testKey_.substr(wcslen(L"Software\\TarvoTest\\")).c_str());
        DestinationFolder.Clear();
        UninstallRecordPath.Clear();
        ProjectName = L"Setup";
    }

    ScratchFolder records_;
    ScratchFolder install_;
    std::wstring testKey_;
};

}  // namespace

TEST(RecordProductName, Table) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"C:\\Windows\\system32\\TarvoUninstall-My App.dat", L"My App"},
        {L"C:\\w\\TarvoUninstall-Foo-Bar.dat", L"Foo-Bar"},
        {L"C:\\w\\Plain.dat", L"Plain"},
        {L"TarvoUninstall-x", L"x"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, std::wstring(RecordProductName(c.path).c_str())) << c.path;
    EXPECT_EQ(L"\\", std::wstring(ReadInstallFolder(Unique(L"NoSuchProduct").c_str()).c_str()));
}

TEST_F(UninstallFixture, RemovesFilesShortcutsValuesAppPathsFoldersAndTheRecord) {
    std::wstring exe = Unique(L"tarvo-un-") + L".exe";
    std::wstring folder = install_ / L"Maker\\Product";
    CreateFolderTree(folder.c_str());
    WriteBytes(install_ / L"keep.txt", "not the product's");
    WriteBytes(folder + L"\\" + exe, "program");
    WriteBytes(folder + L"\\data.txt", "data");
    WriteBytes(folder + L"\\Prog.lnk", "link");
    WriteString(HKEY_LOCAL_MACHINE, (std::wstring(kAppPaths) + L"\\" + exe).c_str(), L"", L"x");
    WriteString(HKEY_CURRENT_USER, testKey_.c_str(), L"Kept", L"stays");
    WriteString(HKEY_CURRENT_USER, testKey_.c_str(), L"Gone", L"goes");
    std::string script = "[Project Name]\r\nX\r\n"
                         "[CopyFile]\r\n1001 - a.exe\r\n<Destination>\\Maker\\Product\\" + Narrow(exe) + "\r\n"
                         "[CopyFile]\r\n1002 - d.txt\r\n<Destination>\\Maker\\Product\\data__TVI_WIN64.txt\r\n"
                         "[CopyFile]\r\n1002 - d.txt\r\n<Destination>\\Maker\\Product\\DATA.txt\r\n"
                         "[CreateIcon]\r\nt\r\n<Destination>\\Maker\\Product\\Prog.lnk\r\n\r\nOptional - x\r\n"
                         "[Registry]\r\nHKCU\r\n" + Narrow(testKey_) + "\r\nSTRING\r\nGone\r\nv\r\n"
                         "[Registry]\r\nhkcu\r\n" + Narrow(testKey_) + "\r\nSTRING\r\nKept\r\nv\r\n";
    Product product(records_, install_.Path(), script);
    product.Select();
    UninstallWorker(nullptr);

    EXPECT_FALSE(Exists(folder + L"\\" + exe));
    EXPECT_FALSE(Exists(folder + L"\\data.txt"));
    EXPECT_FALSE(Exists(folder + L"\\Prog.lnk"));
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(Exists(install_ / L"Maker"));  // emptied parents go too
    EXPECT_TRUE(Exists(install_.Path()));       // not empty: the walk stops there
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + L"\\" + exe));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, testKey_, L"Gone"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, testKey_, L"Kept"));  // "hkcu" is no root
    EXPECT_FALSE(Exists(product.record));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product.Key()));
    EXPECT_FALSE(UninstallNeedsRestart);
    MutexGuard guard(ProgressLock);
    EXPECT_EQ(3, ProgressTotal);  // three "[CopyFile]" lines
    EXPECT_EQ(3, ProgressDone);   // two files and the shortcut
}

TEST_F(UninstallFixture, SharedFilesStayUntilTheLastProductGoes) {
    WriteBytes(install_ / L"shared.txt", "shared");
    WriteBytes(install_ / L"own.txt", "own");
    std::string shared = "[CopyFile]\r\n1 - s\r\n<Destination>\\shared.txt\r\n";
    Product first(records_, install_.Path(), shared + "[CopyFile]\r\n2 - o\r\n<Destination>\\own.txt\r\n");
    Product second(records_, install_.Path(), shared);

    first.Select();
    UninstallWorker(nullptr);
    EXPECT_TRUE(Exists(install_ / L"shared.txt"));
    EXPECT_FALSE(Exists(install_ / L"own.txt"));
    {
        MutexGuard guard(ProgressLock);
        EXPECT_EQ(1, ProgressDone);  // the shared file counts towards the total but is never done
        EXPECT_EQ(2, ProgressTotal);
    }
    second.Select();
    UninstallWorker(nullptr);
    EXPECT_FALSE(Exists(install_ / L"shared.txt"));
}

TEST_F(UninstallFixture, FileInUseIsLeftForTheRestart) {
    std::wstring busy = install_ / L"busy.txt";
    WriteBytes(busy, "in use");
    HANDLE held = ::CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Product product(records_, install_.Path(), "[CopyFile]\r\n1 - b\r\n<Destination>\\busy.txt\r\n");
    product.Select();
    UninstallWorker(nullptr);
    ::CloseHandle(held);
    EXPECT_TRUE(UninstallNeedsRestart);
    EXPECT_FALSE(Exists(product.record));

    // The delayed deletion is recorded for the next restart; take it out again so that no later
    // session of this prefix acts on it.
    const wchar_t* sessionKey = L"System\\CurrentControlSet\\Control\\Session Manager";
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, sessionKey, L"PendingFileRenameOperations",
                                            RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size));
    std::wstring pending(size / sizeof(wchar_t), L'\0');
    ::RegGetValueW(HKEY_LOCAL_MACHINE, sessionKey, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr,
                   &pending[0], &size);
    EXPECT_NE(std::wstring::npos, pending.find(L"busy.txt"));
    HKEY key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, sessionKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, L"PendingFileRenameOperations");
        ::RegCloseKey(key);
    }
}

TEST_F(UninstallFixture, UninstallActionsRunFirstInOrder) {
    std::wstring log = install_ / L"order.log";
    std::wstring file = install_ / L"f.txt";
    WriteBytes(file, "x");
    std::string cmd = "<System>cmd.exe";
    std::string script = "[CopyFile]\r\n1 - f\r\n<Destination>\\f.txt\r\n"
                         "[UninstallAction]\r\n" + cmd + "\r\n/c if exist \"" + Narrow(file) + "\" echo first>>\"" +
                         Narrow(log) + "\"\r\n"
                         "[UninstallAction]\r\n" + cmd + "\r\n/c echo second>>\"" + Narrow(log) + "\"\r\n"
                         "[UninstallAction]\r\nC:\\no\\such\\tool.exe\r\n\r\n";
    Product product(records_, install_.Path(), script);
    product.Select();
    MessageRecorder boxes(IDOK);
    UninstallWorker(nullptr);
    EXPECT_EQ("first\r\nsecond\r\n", ReadBytes(log));  // the file was still there for the first
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"Error whilst running 'C:\\no\\such\\tool.exe'.", boxes.Text(0));
    EXPECT_EQ(L"UnInstaller", std::wstring(boxes.calls[0].caption.c_str()));
    EXPECT_FALSE(Exists(file));
}

TEST_F(UninstallFixture, MissingRecordStillRemovesTheUninstallEntry) {
    Product product(records_, install_.Path(), "");
    ::DeleteFileW(product.record.c_str());
    product.Select();
    UninstallWorker(nullptr);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product.Key()));
}

TEST_F(UninstallFixture, UnknownInstallFolderNeverDeletesAtTheDriveRoot) {
    // "\victim" resolves against the current drive; keep that drive inside the wine prefix.
    wchar_t savedCwd[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, savedCwd);
    ASSERT_TRUE(::SetCurrentDirectoryW(install_.Path().c_str()));
    std::wstring victimName = Unique(L"tarvo-victim-") + L".txt";
    std::wstring victim = std::wstring(1, install_.Path()[0]) + L":\\" + victimName;
    WriteBytes(victim, "not ours");
    std::wstring shortcut = install_ / L"App.lnk";
    WriteBytes(shortcut, "link");
    WriteString(HKEY_CURRENT_USER, testKey_.c_str(), L"V", L"x");
    // With the folder "\", "<Destination>name" is "\name" at the drive root, and
    // "<Destination>\name" would be the network path "\\name".
    std::string script = "[CopyFile]\r\n1 - v\r\n<Destination>" + Narrow(victimName) + "\r\n"
                         "[CreateIcon]\r\nt\r\n" + Narrow(shortcut) + "\r\n\r\n\r\n"
                         "[UninstallAction]\r\n<Destination>\\" + Narrow(victimName) + "\r\n\r\n"
                         "[Registry]\r\nHKCU\r\n" + Narrow(testKey_) + "\r\nSTRING\r\nV\r\nx\r\n";
    Product product(records_, L"", script, false);
    product.Select();
    EXPECT_EQ(L"\\", std::wstring(DestinationFolder.c_str()));
    MessageRecorder boxes(IDOK);
    UninstallWorker(nullptr);
    ::SetCurrentDirectoryW(savedCwd);
    bool victimKept = Exists(victim);
    ::DeleteFileW(victim.c_str());
    EXPECT_TRUE(victimKept);
    EXPECT_TRUE(boxes.calls.empty());
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, testKey_, L"V"));
    EXPECT_FALSE(Exists(product.record));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product.Key()));
}

TEST(RemoveEmptyFolders, StopsAtProtectedFoldersAndNonEmptyOnes) {
    WString programFiles(L"<Program Files>");
    ExpandPlaceholders(programFiles);
    std::wstring maker = std::wstring(programFiles.c_str()) + Unique(L"TarvoMaker");
    std::wstring product = maker + L"\\Product";
    ASSERT_TRUE(CreateFolderTree(product.c_str()));
    RemoveEmptyFolders((product + L"\\").c_str());
    EXPECT_FALSE(Exists(maker));
    EXPECT_TRUE(Exists(RemoveTrailingBackslashes(programFiles).c_str()));

    ScratchFolder dir;
    std::wstring inner = dir / L"a\\b";
    CreateFolderTree(inner.c_str());
    WriteBytes(dir / L"a\\keep.txt", "k");
    RemoveEmptyFolders(inner.c_str());
    EXPECT_FALSE(Exists(inner));
    EXPECT_TRUE(Exists(dir / L"a"));
    EXPECT_TRUE(Exists(dir.Path()));
}
