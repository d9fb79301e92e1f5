// Removing installed products with the real uninstaller, started from the command lines that the
// installation recorded, as Windows' list of installed programs starts them.
#include "e2e/UninstallSupport.h"

#include <gtest/gtest.h>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;
using tarvo::testing::WriteBytes;

namespace {

const std::wstring kNotes = L"Tarvo Notes";
const std::wstring kNotesKey = L"Software\\Tarvo Notes";

std::wstring Recorded(const std::wstring& product, const wchar_t* value) {
    return ReadString(HKEY_LOCAL_MACHINE, UninstallKey(product), value).value_or(L"");
}

// The ways of starting a removal: the recorded command line, and whether the wizard then needs a
// user to confirm it.
struct Start {
    const char* name;
    const wchar_t* value;  // "UninstallString" or "QuietUninstallString"
    bool interactive;
};
const Start kStarts[] = {{"UninstallString", L"UninstallString", true},
                         {"QuietUninstallString", L"QuietUninstallString", false}};

// Confirms the removal on the wizard's first page, as a user would.
void PressUninstall() {
    DriverProcess driver({L"wait", kUninstallerCaption, L"20000", L"click", kUninstallerCaption, Text(kWizardNext)});
    EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
}

// Presses Finish on the completed page and waits for the wizard to go.
void PressFinish() {
    DriverProcess driver({L"click", kUninstallerCaption, Text(kWizardCancel), L"gone", kUninstallerCaption, L"20000"});
    EXPECT_EQ(driver.Finish(), 0u) << driver.Output();
}

// Waits for the wizard's completed page; null when it never came.
HWND WaitForCompletedPage() {
    HWND wizard = nullptr;
    WaitUntil([&] {
        wizard = UninstallWizardWindow();
        return wizard && ShowsCompletedPage(wizard);
    });
    return wizard && ShowsCompletedPage(wizard) ? wizard : nullptr;
}

// The example product, its installer built once for every test here.
class NotesRemoval : public NotesSuite {
protected:
    void Forget() override {
        KillProcessesNamed(L"TarvoUninstall.exe");
        ForgetPendingRenamesUnder(folder_);
        NotesSuite::Forget();
        RemoveTree(customFolder_);
        ::DeleteFileW(bystander_.c_str());
        for (const wchar_t* file : kRootBystanders) ::DeleteFileW((SystemFolder().substr(0, 3) + file).c_str());
    }

    // Installs silently, into the proposed folder or into `installTo`.
    void Install(const std::wstring& installTo = L"") {
        std::wstring arguments = L"--silent";
        if (!installTo.empty()) arguments += L" --installto=\"" + installTo + L"\"";
        ASSERT_EQ(RunToEnd(installer_.Setup(), arguments), 0u);
        ASSERT_TRUE(Exists((installTo.empty() ? folder_ : installTo) + L"\\notes.exe"));
        ASSERT_TRUE(Exists(RecordFile(kNotes)));
    }

    // Runs a recorded removal to its end; a user confirms and finishes where the wizard asks.
    DWORD Uninstall(const Start& start) {
        const std::wstring commandLine = Recorded(kNotes, start.value);
        EXPECT_FALSE(commandLine.empty()) << start.name;
        CommandLineProcess uninstaller(commandLine);
        EXPECT_TRUE(uninstaller.Started()) << Narrow(commandLine);
        if (start.interactive) {
            PressUninstall();
            EXPECT_NE(WaitForCompletedPage(), nullptr);
            PressFinish();
        }
        return uninstaller.Finish();
    }
    const std::wstring folder_ = ProgramFiles() + L"\\Tarvo Notes";
    const std::wstring menuFolder_ = StartPrograms() + L"\\Tarvo Notes";
    // A folder of the user's choice, right under the drive's root.
    const std::wstring customFolder_ = SystemFolder().substr(0, 3) + L"Tarvo E2E Notes";
    // Things of the machine that the product has no part in.
    const std::wstring bystander_ = ProgramFiles() + L"\\Tarvo E2E Bystander.txt";
    // Files at the system drive's root named as the product's files.
    static constexpr const wchar_t* kRootBystanders[] = {L"notes.exe", L"notes-shell.dll", L"readme.txt"};
};

TEST_F(NotesRemoval, EitherRecordedCommandLineRemovesWhatTheInstallationMadeAndNothingElse) {
    struct Case {
        Start start;
        std::wstring installTo;  // empty: the proposed folder
    } cases[] = {{kStarts[0], L""}, {kStarts[1], L""}, {kStarts[1], customFolder_}};
    for (const Case& c : cases) {
        const Start& start = c.start;
        const std::wstring folder = c.installTo.empty() ? folder_ : c.installTo;
        SCOPED_TRACE(std::string(start.name) + " " + Narrow(folder));
        Forget();
        Install(c.installTo);
        const std::string uninstaller = ReadBytes(SharedUninstaller());
        ASSERT_FALSE(uninstaller.empty());
        EXPECT_EQ(Recorded(kNotes, L"UninstallString"),
                  L"\"" + SharedUninstaller() + L"\" <uninstall>" + RecordFile(kNotes));
        ASSERT_TRUE(Exists(menuFolder_ + L"\\Tarvo Notes.lnk"));
        ASSERT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kNotesKey, L"Registered").value_or(0), 1u);
        // Beside the product: a file in Program Files, and values of the user's own in the
        // product's keys.
        WriteBytes(bystander_, "not part of any product");
        SetString(HKEY_LOCAL_MACHINE, kNotesKey, L"KeptByUser", L"mine");
        SetString(HKEY_CURRENT_USER, kNotesKey, L"Theme", L"dark");
        // The desktop shortcut that the finish page offers (a silent install does not make it);
        // the uninstaller deletes it by its path.
        const std::wstring desktopShortcut = Desktop() + L"\\Tarvo Notes.lnk";
        ASSERT_TRUE(::CopyFileW((menuFolder_ + L"\\Tarvo Notes.lnk").c_str(), desktopShortcut.c_str(), FALSE));
        // A read-only file is still deleted at once.
        ASSERT_TRUE(::SetFileAttributesW((folder + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));

        ASSERT_EQ(Uninstall(start), 0u);

        // Files, folders and shortcuts, up to the protected folders.
        for (const wchar_t* file : {L"\\notes.exe", L"\\notes-shell.dll", L"\\readme.txt"}) {
            EXPECT_FALSE(Exists(folder + file)) << Narrow(file);
            EXPECT_FALSE(DeletionPendingFor(folder + file)) << Narrow(file);
        }
        EXPECT_FALSE(Exists(folder));
        EXPECT_FALSE(Exists(menuFolder_));
        EXPECT_TRUE(Exists(ProgramFiles()));
        EXPECT_TRUE(Exists(StartPrograms()));
        // The desktop folder, empty again in a fresh prefix, stays.
        EXPECT_FALSE(Exists(desktopShortcut));
        EXPECT_TRUE(Exists(Desktop()));
        // Registry values of the script, the DLL's own value (it was unregistered), the App
        // Paths key.
        for (const wchar_t* value : {L"InstallDir", L"WordWrap", L"Palette", L"Registered"}) {
            EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kNotesKey, value) ||
                         ReadDword(HKEY_LOCAL_MACHINE, kNotesKey, value) ||
                         ReadBinary(HKEY_LOCAL_MACHINE, kNotesKey, value))
                << Narrow(value);
        }
        EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kNotesKey, L"Welcome"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(L"notes.exe")));
        // The record, except the uninstaller that every product shares.
        EXPECT_FALSE(Exists(RecordFile(kNotes)));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kNotes)));
        EXPECT_EQ(ReadBytes(SharedUninstaller()), uninstaller);
        // Nothing else.
        EXPECT_EQ(ReadBytes(bystander_), "not part of any product");
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kNotesKey, L"KeptByUser").value_or(L"-"), L"mine");
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kNotesKey, L"Theme").value_or(L"-"), L"dark");
    }
}

// A file that cannot be deleted is left to the next restart: the wizard's completed page offers
// the restart and the exit code says whether it was started; the quiet string ("--norestart")
// neither stops nor restarts, and says 3010.
TEST_F(NotesRemoval, AFileInUseIsDeletedAtTheRestart) {
    struct Case {
        Start start;
        bool untick;
        DWORD exitCode;
        const wchar_t* screenshot;
    } cases[] = {
        {kStarts[0], true, 3010, L"uninstall-restart-row-96dpi.bmp"},
        {kStarts[1], false, 3010, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.name);
        Forget();
        Install();
        const std::wstring held = folder_ + L"\\readme.txt";
        tarvo::FileHandle file(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.Valid());

        CommandLineProcess uninstaller(Recorded(kNotes, c.start.value));
        ASSERT_TRUE(uninstaller.Started());
        if (c.start.interactive) {
            PressUninstall();
            HWND wizard = WaitForCompletedPage();
            ASSERT_NE(wizard, nullptr);
            HWND list = RestartList(wizard);
            ASSERT_NE(list, nullptr) << "no restart row";
            EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
            if (c.screenshot && ScreenDpi() == 96) {
                EXPECT_FALSE(Screenshot(wizard, c.screenshot).empty());
            }
            if (c.untick) {
                ClickFirstRowCheckBox(list);
                if (ScreenDpi() == 96) {
                    EXPECT_FALSE(Screenshot(wizard, L"uninstall-restart-row-unticked-96dpi.bmp").empty());
                }
            }
            PressFinish();
        }
        EXPECT_EQ(uninstaller.Finish(), c.exitCode);

        // Everything else went; the file stays until the restart deletes it.
        EXPECT_TRUE(Exists(held));
        EXPECT_TRUE(DeletionPendingFor(held));
        EXPECT_FALSE(Exists(folder_ + L"\\notes.exe"));
        EXPECT_FALSE(Exists(menuFolder_));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(L"notes.exe")));
        EXPECT_FALSE(Exists(RecordFile(kNotes)));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kNotes)));
        file.Reset();
    }
}

// A record that lost its data file, or its install folder, still takes the product off the list
// of installed programs; and what a lost folder would make of "<Destination>\notes.exe" (a file at
// the root of the drive) is never deleted.
TEST_F(NotesRemoval, AnIncompleteRecordStillTakesTheProductOffTheList) {
    struct Case {
        const char* name;
        bool dropDataFile;
        bool dropInstallTo;
    } cases[] = {{"no data file", true, false}, {"no install folder", false, true}};
    const std::wstring root = SystemFolder().substr(0, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        Install();
        if (c.dropDataFile) {
            ASSERT_TRUE(::DeleteFileW(RecordFile(kNotes).c_str()));
        }
        if (c.dropInstallTo) {
            ASSERT_EQ(::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, UninstallKey(kNotes).c_str(), L"InstallTo"),
                      ERROR_SUCCESS);
        }
        for (const wchar_t* file : kRootBystanders) WriteBytes(root + file, "not the product's");

        EXPECT_EQ(Uninstall(kStarts[1]), 0u);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kNotes)));
        EXPECT_FALSE(Exists(RecordFile(kNotes)));
        // Nothing tells where the files are: they stay, and so do the root's.
        EXPECT_TRUE(Exists(folder_ + L"\\notes.exe"));
        for (const wchar_t* file : kRootBystanders) {
            EXPECT_EQ(ReadBytes(root + file), "not the product's") << Narrow(file);
        }
        // What does not hang on the install folder goes.
        if (c.dropInstallTo) {
            EXPECT_FALSE(Exists(menuFolder_));
        }
    }
}

// The shared uninstaller is left out of the comparison: it is a copy of whichever installer ran
// last, and removal keeps it.
TEST_F(NotesRemoval, InstallingAgainAfterRemovalGivesTheFirstInstallation) {
    auto machine = [&] {
        Snapshot s;
        AddPath(s, folder_);
        AddPath(s, menuFolder_);
        AddPath(s, Desktop() + L"\\Tarvo Notes.lnk");
        AddPath(s, RecordFile(kNotes));
        AddKey(s, HKEY_LOCAL_MACHINE, L"HKLM", kNotesKey);
        AddKey(s, HKEY_CURRENT_USER, L"HKCU", kNotesKey);
        AddKey(s, HKEY_LOCAL_MACHINE, L"HKLM", UninstallKey(kNotes));
        AddKey(s, HKEY_LOCAL_MACHINE, L"HKLM", AppPathKey(L"notes.exe"));
        AddValue(s, HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\TarvoInstall", kNotes);
        AddValue(s, HKEY_CURRENT_USER, L"HKCU", L"Software\\TarvoInstall", kNotes);
        return s;
    };
    const Snapshot before = machine();
    Install();
    const Snapshot first = machine();
    ASSERT_EQ(Uninstall(kStarts[1]), 0u);
    const Snapshot removed = machine();
    Install();
    const Snapshot second = machine();

    EXPECT_EQ(Differences(first, second), "");
    // What removal leaves of an installation: the user's emptied key (the uninstaller deletes
    // values, never keys) and the remembered folder that the next installation proposes.
    EXPECT_EQ(Differences(before, removed),
              "  new: HKCU\\Software\\Tarvo Notes\\\n"
              "  new: HKCU\\Software\\TarvoInstall\\[Tarvo Notes]\n"
              "  new: HKLM\\Software\\TarvoInstall\\[Tarvo Notes]\n");
}

// Two products that install the same file into the same folder.
class SharedFile : public ::testing::Test {
protected:
    static std::string Script(const std::string& name, const std::string& own) {
        return "[Project Name]\nTarvo E2E Shared " + name +
               "\n\n[Install To]\n<Program Files>\\Tarvo E2E Shared\\Suite\n\n"
               "[CopyFile]\ncommon.exe\n<Destination>\\tarvo-e2e-common.exe\n\n"
               "[CopyFile]\n" + own + "\n<Destination>\\" + own + "\n";
    }
    static void SetUpTestSuite() {
        project_ = new Project;
        one_ = new std::wstring;
        two_ = new std::wstring;
        project_->CopyIn(L"common.exe", FixtureFile(L"tarvo-probe.exe"));
        project_->File(L"one.txt", "one");
        project_->File(L"two.txt", "two");
        project_->Script(Script("One", "one.txt"));
        *one_ = project_->Build(L"one-setup.exe");
        project_->Script(Script("Two", "two.txt"));
        *two_ = project_->Build(L"two-setup.exe");
    }
    static void TearDownTestSuite() {
        delete project_;
        delete one_;
        delete two_;
    }
    void SetUp() override {
        ASSERT_FALSE(one_->empty() || two_->empty()) << "the installers were not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        KillProcessesNamed(L"TarvoUninstall.exe");
        ForgetProduct(L"Tarvo E2E Shared One", {L"tarvo-e2e-common.exe"});
        ForgetProduct(L"Tarvo E2E Shared Two");
        RemoveTree(maker_);
    }

    static Project* project_;
    static std::wstring* one_;
    static std::wstring* two_;
    const std::wstring maker_ = ProgramFiles() + L"\\Tarvo E2E Shared";
    const std::wstring folder_ = maker_ + L"\\Suite";
};
Project* SharedFile::project_ = nullptr;
std::wstring* SharedFile::one_ = nullptr;
std::wstring* SharedFile::two_ = nullptr;

TEST_F(SharedFile, StaysUntilTheLastProductThatInstalledItIsRemoved) {
    ASSERT_EQ(RunToEnd(*one_, L"--silent"), 0u);
    ASSERT_EQ(RunToEnd(*two_, L"--silent"), 0u);
    const std::wstring common = folder_ + L"\\tarvo-e2e-common.exe";
    ASSERT_TRUE(Exists(common));
    ASSERT_TRUE(Exists(folder_ + L"\\one.txt"));
    ASSERT_TRUE(Exists(folder_ + L"\\two.txt"));
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(L"tarvo-e2e-common.exe")));

    {
        CommandLineProcess uninstaller(Recorded(L"Tarvo E2E Shared One", L"QuietUninstallString"));
        ASSERT_EQ(uninstaller.Finish(), 0u);
    }
    EXPECT_FALSE(Exists(folder_ + L"\\one.txt"));
    EXPECT_TRUE(Exists(common));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(L"tarvo-e2e-common.exe")));
    EXPECT_TRUE(Exists(folder_ + L"\\two.txt"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Tarvo E2E Shared One")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Tarvo E2E Shared Two")));
    EXPECT_TRUE(Exists(RecordFile(L"Tarvo E2E Shared Two")));

    {
        CommandLineProcess uninstaller(Recorded(L"Tarvo E2E Shared Two", L"QuietUninstallString"));
        ASSERT_EQ(uninstaller.Finish(), 0u);
    }
    EXPECT_FALSE(Exists(common));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AppPathKey(L"tarvo-e2e-common.exe")));
    // The product folder and its maker's folder go with their last file; Program Files stays.
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(Exists(maker_));
    EXPECT_TRUE(Exists(ProgramFiles()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Tarvo E2E Shared Two")));
}

}  // namespace
