#include "install/RegistryEntry.h"

#include "base/Process.h"
#include "elevation/ChannelTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const ScriptSection kRegistrySection[] = {{L"[Registry]", 5}};

// Runs every "[Registry]" section of a script made of `lines`, as the install worker does.
class RegistryEntryTest : public ::testing::Test {
protected:
    RegistryEntryTest() : channel_(scratch_ / L"TVIreg.tmp"), scope_(channel_), launcher_(channel_) {
        savedCaption_ = InstallerCaption;
        InstallerCaption = L"Sample Installer";
    }
    ~RegistryEntryTest() override {
        InstallerCaption = savedCaption_;
        CurrentPackage = nullptr;
        DestinationFolder.Clear();
    }

    void RunScript(const std::vector<std::wstring>& lines, HWND owner = nullptr) {
        std::string text;
        for (const std::wstring& line : lines) text += Narrow(line) + "\r\n";
        const std::wstring path = scratch_ / L"setup.dat";
        WriteBytes(path, text);
        SetupScript script(kRegistrySection, 1);
        ASSERT_TRUE(script.Open(path.c_str()));
        while (script.NextSection()) WriteRegistryEntry(script, owner);
    }

    ScratchFolder scratch_;
    std::wstring channel_;
    ChannelPathScope scope_;
    FakeLauncher launcher_;
    MessageRecorder boxes_{IDOK};
    WString savedCaption_;
};

}  // namespace

TEST_F(RegistryEntryTest, MachineAndOtherRootsAreWrittenHere) {
    TestKey key(L"reg-direct");
    const std::wstring lm = key.Under(HKEY_LOCAL_MACHINE);
    const std::wstring cr = key.Under(HKEY_CLASSES_ROOT);
    const std::wstring cc = key.Under(HKEY_CURRENT_CONFIG);
    // Under HKEY_USERS only the loaded hives can take keys.
    const std::wstring users = L".DEFAULT\\" + key.Path();
    DestinationFolder = L"C:\\Apps\\Notes\\";
    RunScript({
        L"[Registry]", L"HKLM", lm, L"STRING", L"Text", L"<Destination>notes.exe",
        L"[Registry]", L"HKLM", lm, L"DWORD", L"Number", L" 42abc",
        L"[Registry]", L"HKLM", lm + L"\\Deeper\\Still", L"STRING", L"", L"default value",
        L"[Registry]", L"HKLM", lm, L"SZ", L"OtherType", L"written as text",
        L"[Registry]", L"HKLM", lm, L"dword", L"LowerCaseType", L"17",
        L"[Registry]", L"HKCR", cr, L"STRING", L"Class", L"class text",
        L"[Registry]", L"HKCC", cc, L"DWORD", L"Config", L"-2",
        L"[Registry]", L"HKU", users, L"STRING", L"User", L"users text",
    });

    EXPECT_EQ(L"C:\\Apps\\Notes\\notes.exe", ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"Text").Text());
    RegValue number = ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"Number");
    EXPECT_EQ(DWORD(REG_DWORD), number.type);
    EXPECT_EQ(42u, number.Dword());
    EXPECT_EQ(L"default value", ReadRegValue(HKEY_LOCAL_MACHINE, lm + L"\\Deeper\\Still", L"").Text());
    EXPECT_EQ(L"written as text", ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"OtherType").Text());
    RegValue lower = ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"LowerCaseType");
    EXPECT_EQ(DWORD(REG_SZ), lower.type);
    EXPECT_EQ(L"17", lower.Text());
    EXPECT_EQ(L"class text", ReadRegValue(HKEY_CLASSES_ROOT, cr, L"Class").Text());
    EXPECT_EQ(0xFFFFFFFEu, ReadRegValue(HKEY_CURRENT_CONFIG, cc, L"Config").Dword());
    EXPECT_EQ(L"users text", ReadRegValue(HKEY_USERS, users, L"User").Text());
    ::RegDeleteTreeW(HKEY_USERS, users.c_str());
    ::RegDeleteKeyW(HKEY_USERS, L".DEFAULT\\Software\\TarvoTest");  // only when empty
    EXPECT_TRUE(launcher_.Requests().empty());
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(RegistryEntryTest, UserValuesGoToTheLauncher) {
    TestKey key(L"reg-user");
    const std::wstring cu = key.Under(HKEY_CURRENT_USER);
    DestinationFolder = L"C:\\Apps\\Notes\\";
    RunScript({
        L"[Registry]", L"HKCU", cu + L"\\<Destination>", L"STRING", L"Folder", L"<Destination>data",
        L"[Registry]", L"HKCU", cu, L"DWORD", L"Number", L" 42abc",
        L"[Registry]", L"HKCU", cu, L"Other", L"", L"",
    });

    std::vector<std::string> requests = launcher_.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(ChannelBytes({L"[setreg_hkcu_string]", L"Folder", cu + L"\\C:\\Apps\\Notes\\", L"C:\\Apps\\Notes\\data"}),
              requests[0]);
    // The number goes exactly as written: the launcher reads it.
    EXPECT_EQ(ChannelBytes({L"[setreg_hkcu_dword]", L"Number", cu, L" 42abc"}), requests[1]);
    EXPECT_EQ(ChannelBytes({L"[setreg_hkcu_string]", L"", cu, L""}), requests[2]);
    // Never written by this instance, whose HKEY_CURRENT_USER may be another account's.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, cu));
}

TEST_F(RegistryEntryTest, RootsAreWholeLinesWithCase) {
    TestKey key(L"reg-roots");
    const std::wstring lm = key.Under(HKEY_LOCAL_MACHINE);
    const std::wstring cu = key.Under(HKEY_CURRENT_USER);
    RunScript({
        L"[Registry]", L"HKLM ", lm, L"STRING", L"A", L"x",
        L"[Registry]", L"hklm", lm, L"DWORD", L"B", L"1",
        L"[Registry]", L" HKCU", cu, L"STRING", L"C", L"x",
        L"[Registry]", L"HKEY_LOCAL_MACHINE", lm, L"STRING", L"D", L"x",
        L"[Registry]", L"", lm, L"STRING", L"E", L"x",
    });
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, lm));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, cu));
    EXPECT_TRUE(launcher_.Requests().empty());
}

TEST_F(RegistryEntryTest, BinaryDataComesFromThePackageForEveryRoot) {
    const std::string blob("\x00\x01\xFEpayload\xFF", 11);
    Bytes bytes = Archive({Entry("setup.dat", "s"), Entry("Data.BIN", blob), Entry("empty.bin", "")});
    bool failed = true;
    SetupPackage package(failed, bytes.data(), bytes.size());
    ASSERT_FALSE(failed);
    CurrentPackage = &package;
    TestKey key(L"reg-binary");
    const std::wstring lm = key.Under(HKEY_LOCAL_MACHINE);
    const std::wstring cu = key.Under(HKEY_CURRENT_USER);
    HWND owner = reinterpret_cast<HWND>(0x77);

    RunScript({
                  L"[Registry]", L"HKLM", lm, L"BINARY", L"Blob", L"data.bin",
                  L"[Registry]", L"HKCU", cu, L"BINARY", L"Blob", L"data.bin",
                  L"[Registry]", L"HKLM", lm, L"BINARY", L"Empty", L"empty.bin",
                  L"[Registry]", L"HKLM", lm, L"BINARY", L"Missing", L"nope.bin",
              },
              owner);

    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegValue value = ReadRegValue(root, root == HKEY_LOCAL_MACHINE ? lm : cu, L"Blob");
        EXPECT_EQ(DWORD(REG_BINARY), value.type);
        EXPECT_EQ(blob, std::string(value.data.begin(), value.data.end()));
    }
    RegValue empty = ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"Empty");
    EXPECT_EQ(DWORD(REG_BINARY), empty.type);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_EQ(DWORD(REG_NONE), ReadRegValue(HKEY_LOCAL_MACHINE, lm, L"Missing").type);
    ASSERT_EQ(1u, boxes_.calls.size());
    EXPECT_EQ(L"Unable to extract 'nope.bin'", boxes_.Text(0));
    EXPECT_EQ(owner, boxes_.calls[0].owner);
    EXPECT_EQ(L"Sample Installer", std::wstring(boxes_.calls[0].caption.c_str()));
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls[0].Icon());
    EXPECT_TRUE(launcher_.Requests().empty());
}

TEST(RegisterAppPath, InstalledProgramsGetAnAppPathsKey) {
    const std::wstring appPaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    // Names no real product uses: the end-to-end tests install Tarvo Notes, whose notes.exe gets
    // a key of its own, and may run beside this test.
    struct Clean {
        std::wstring key;
        ~Clean() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()); }
    } notes{appPaths + L"tarvo-app-path-test.exe"}, viewer{appPaths + L"Tarvo-App-Path-Viewer.EXE"};
    DestinationFolder = L"C:\\Apps\\Notes\\";

    RegisterAppPath(L"C:\\Apps\\Notes\\tarvo-app-path-test.exe");
    RegisterAppPath(L"<Destination>Bin\\Tarvo-App-Path-Viewer.EXE");
    RegisterAppPath(L"C:\\Apps\\Notes\\notes.dll");
    RegisterAppPath(L"C:\\Apps\\Notes.exe\\readme");
    DestinationFolder.Clear();

    EXPECT_EQ(L"C:\\Apps\\Notes\\tarvo-app-path-test.exe", ReadRegValue(HKEY_LOCAL_MACHINE, notes.key, L"").Text());
    EXPECT_EQ(L"C:\\Apps\\Notes\\", ReadRegValue(HKEY_LOCAL_MACHINE, notes.key, L"Path").Text());
    EXPECT_EQ(L"C:\\Apps\\Notes\\Bin\\Tarvo-App-Path-Viewer.EXE",
              ReadRegValue(HKEY_LOCAL_MACHINE, viewer.key, L"").Text());
    EXPECT_EQ(L"C:\\Apps\\Notes\\Bin\\", ReadRegValue(HKEY_LOCAL_MACHINE, viewer.key, L"Path").Text());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, appPaths + L"notes.dll"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, appPaths + L"readme"));
}
