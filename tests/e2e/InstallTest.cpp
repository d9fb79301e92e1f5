// Installing with the real setup.exe, as users and deployment tools start it.
#include "e2e/E2eSupport.h"

#include <gtest/gtest.h>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;

namespace {

const std::wstring kNotes = L"Tarvo Notes";
const std::wstring kNotesKey = L"Software\\Tarvo Notes";

// The example product's installer, built once for every test here.
class NotesInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        project_ = new Project;
        setup_ = new std::wstring;
        // The project as the example build assembled it; the copy keeps the build tree's folder
        // untouched by anything the builder might write.
        for (const wchar_t* file : {L"setup.dat", L"setup.lic", L"setup.bmp", L"readme.txt", L"bin\\notes.exe",
                                    L"bin\\notes-shell.dll", L"data\\palette.bin"}) {
            project_->CopyIn(file, NotesProject() + L"\\" + file);
        }
        *setup_ = project_->Build(L"notes-setup.exe");
    }
    static void TearDownTestSuite() {
        delete project_;
        delete setup_;
    }
    void SetUp() override {
        ASSERT_FALSE(setup_->empty()) << "the installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        ForgetProduct(kNotes, {L"notes.exe"});
        RemoveTree(customFolder_);
    }

    static std::wstring ProjectFile(const wchar_t* name) { return project_->Path() + L"\\" + name; }

    static Project* project_;
    static std::wstring* setup_;
    const std::wstring customFolder_ = L"C:\\Tarvo E2E Notes";
};
Project* NotesInstall::project_ = nullptr;
std::wstring* NotesInstall::setup_ = nullptr;

TEST_F(NotesInstall, SilentInstallToAChosenFolderLeavesTheWholeProductBehind) {
    DWORD code = RunToEnd(*setup_, L"--silent --installto=\"" + customFolder_ + L"\"");
    ASSERT_EQ(code, 0u);

    const std::wstring folder = customFolder_ + L"\\";
    // Files with the project's content.
    EXPECT_EQ(ReadBytes(folder + L"notes.exe"), ReadBytes(ProjectFile(L"bin\\notes.exe")));
    EXPECT_EQ(ReadBytes(folder + L"notes-shell.dll"), ReadBytes(ProjectFile(L"bin\\notes-shell.dll")));
    EXPECT_EQ(ReadBytes(folder + L"readme.txt"), ReadBytes(ProjectFile(L"readme.txt")));
    EXPECT_FALSE(Exists(ProgramFiles() + L"\\Tarvo Notes")) << "the default folder was used as well";

    // The Start menu shortcut resolves to the installed program.
    EXPECT_EQ(ShortcutTarget(StartPrograms() + L"\\Tarvo Notes\\Tarvo Notes.lnk"), folder + L"notes.exe");

    // Machine-wide values, the self-registered DLL, and the user's value written by the launcher.
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kNotesKey, L"InstallDir").value_or(L"-"), folder);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kNotesKey, L"WordWrap").value_or(0), 1u);
    EXPECT_EQ(ReadBinary(HKEY_LOCAL_MACHINE, kNotesKey, L"Palette").value_or("-"),
              ReadBytes(ProjectFile(L"data\\palette.bin")));
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kNotesKey, L"Registered").value_or(0), 1u);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kNotesKey, L"Welcome").value_or(L"-"),
              L"Welcome to Tarvo Notes. What you write on this page is kept for you alone.");

    // App Paths for the installed program.
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, AppPathKey(L"notes.exe"), L"").value_or(L"-"), folder + L"notes.exe");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, AppPathKey(L"notes.exe"), L"Path").value_or(L"-"), folder);

    // The uninstall record: the key that Windows' list shows, the shared uninstaller, the data
    // file with the chosen folder in place of the script's.
    const std::wstring key = UninstallKey(kNotes);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value_or(L"-"), kNotes);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"DisplayVersion").value_or(L"-"), L"1.2");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"Publisher").value_or(L"-"), L"Tarvo Examples");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"InstallLocation").value_or(L"-"), customFolder_);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value_or(L"-"),
              L"\"" + SharedUninstaller() + L"\" <uninstall>" + RecordFile(kNotes));
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, L"QuietUninstallString").has_value());
    EXPECT_TRUE(Exists(SharedUninstaller()));
    std::string record = ReadBytes(RecordFile(kNotes));
    EXPECT_NE(record.find("[Install To]\r\n" + Narrow(customFolder_) + "\r\n"), std::string::npos) << record;
}

}  // namespace
