// Installing with the real setup.exe, as users and deployment tools start it.
#include "e2e/InstallSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;

namespace {

const std::wstring kNotes = L"Tarvo Notes";
const std::wstring kNotesKey = L"Software\\Tarvo Notes";

// The example product's installer, built once for every test here.
class NotesInstall : public NotesSuite {
protected:
    void Forget() override {
        NotesSuite::Forget();
        RemoveTree(customFolder_);
    }
    const std::wstring customFolder_ = L"C:\\Tarvo E2E Notes";
};

TEST_F(NotesInstall, SilentInstallToAChosenFolderLeavesTheWholeProductBehind) {
    DWORD code = RunToEnd(installer_.Setup(), L"--silent --installto=\"" + customFolder_ + L"\"");
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

// A reinstall proposes the folder of the installation before it: the folder of the Start menu
// shortcut ("[LocateInstall]", which comes after "[SaveInstallPath]" in the script and so wins),
// else the remembered folder, else the folder in the uninstall record; "--installto" wins over
// all of them. Cancel on the Ready page ends with 1602 and changes nothing.
TEST_F(NotesInstall, AReinstallProposesTheFolderOfTheInstallationBefore) {
    ASSERT_EQ(0u, RunToEnd(installer_.Setup(), L"--silent --installto=\"" + customFolder_ + L"\""));
    const std::wstring remembered = L"C:\\Tarvo E2E Remembered";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvoInstall", kNotes.c_str(), REG_SZ,
                                               remembered.c_str(), DWORD((remembered.size() + 1) * sizeof(wchar_t))));
    const std::wstring shortcut = StartPrograms() + L"\\Tarvo Notes\\Tarvo Notes.lnk";
    struct Case {
        const char* name;
        std::function<void()> before;  // takes away one more source
        std::wstring switches;
        std::wstring proposed;
    };
    const Case cases[] = {
        {"the shortcut's folder", [] {}, L"", customFolder_ + L"\\"},
        {"the remembered folder", [&] { ::DeleteFileW(shortcut.c_str()); }, L"", remembered},
        {"the recorded folder",
         [&] { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvoInstall", kNotes.c_str()); }, L"",
         customFolder_},
        {"--installto", [] {}, L"--installto=\"C:\\Tarvo E2E Elsewhere\"", L"C:\\Tarvo E2E Elsewhere"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        std::string log;
        RunningInstaller setup(installer_.Setup(), c.switches, kNotes);
        HWND wizard = setup.WaitForWizard();
        ASSERT_NE(nullptr, wizard);
        EXPECT_EQ(Narrow(TextOf(Item(wizard, IDC_FOLDER))), Narrow(c.proposed));
        ASSERT_EQ(0u, Drive({L"click", setup.Caption(), std::to_wstring(IDC_CANCEL_FINISH)}, log)) << log;
        EXPECT_EQ(1602u, setup.Finish());
    }
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, UninstallKey(kNotes), L"InstallLocation").value_or(L"-"), customFolder_);
    EXPECT_TRUE(Exists(customFolder_ + L"\\notes.exe"));
    EXPECT_FALSE(Exists(L"C:\\Tarvo E2E Elsewhere"));
}

// --- An earlier version of the product is installed ---------------------------------------------

const std::wstring kVersions = L"Tarvo E2E Versions";
const std::wstring kVersionsKey = L"Software\\Tarvo E2E Versions";

// Version 1.0 and version 2.0 of one product: each places a file of its own and a shared file,
// and writes its version into a machine value.
class EarlierVersion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        first_ = new Project;
        second_ = new Project;
        firstSetup_ = new std::wstring;
        secondSetup_ = new std::wstring;
        first_->File(L"old.txt", "only in 1.0\r\n");
        first_->File(L"shared.txt", "shared 1.0\r\n");
        first_->Script(Script("1.0", "old.txt"));
        *firstSetup_ = first_->Build(L"versions-1.0.exe");
        second_->File(L"new.txt", "only in 2.0\r\n");
        second_->File(L"shared.txt", "shared 2.0\r\n");
        second_->Script(Script("2.0", "new.txt"));
        *secondSetup_ = second_->Build(L"versions-2.0.exe");
    }
    static void TearDownTestSuite() {
        delete first_;
        delete second_;
        delete firstSetup_;
        delete secondSetup_;
    }
    static std::string Script(const std::string& version, const std::string& ownFile) {
        return "[Project Name]\nTarvo E2E Versions\n\n[ProgramVersion]\n" + version +
               "\n\n[Install To]\n<Program Files>\\Tarvo E2E Versions\n\n"
               "[CopyFile]\n" + ownFile + "\n<Destination>\\" + ownFile +
               "\n\n"
               "[CopyFile]\nshared.txt\n<Destination>\\shared.txt\n\n"
               "[Registry]\nHKLM\nSoftware\\Tarvo E2E Versions\nSTRING\nVersion\n" + version + "\n";
    }
    void SetUp() override {
        ASSERT_FALSE(firstSetup_->empty() || secondSetup_->empty()) << "the installers were not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        ForgetProduct(kVersions);
        RemoveTree(earlierFolder_);
    }

    static Project* first_;
    static Project* second_;
    static std::wstring* firstSetup_;
    static std::wstring* secondSetup_;
    // Where 1.0 was installed: not the script's folder, so that the proposal shows where it came from.
    const std::wstring earlierFolder_ = L"C:\\Tarvo E2E Versions 1.0";
};
Project* EarlierVersion::first_ = nullptr;
Project* EarlierVersion::second_ = nullptr;
std::wstring* EarlierVersion::firstSetup_ = nullptr;
std::wstring* EarlierVersion::secondSetup_ = nullptr;

// The interactive installer of 2.0 finds the record of 1.0: it proposes 1.0's folder and, once
// Install is pressed, asks whether to remove 1.0 first. Yes removes it silently with its own
// uninstaller and installs 2.0; No installs 2.0 over it; Cancel leaves 1.0 as it was and ends
// with 1602.
TEST_F(EarlierVersion, TheQuestionAndEachAnswer) {
    struct Case {
        const char* name;
        int answer;
        DWORD code;
        bool oldFileLeft;
        const char* installedVersion;
    };
    const Case cases[] = {
        {"Yes", IDYES, 0, false, "2.0"},
        {"No", IDNO, 0, true, "2.0"},
        {"Cancel", IDCANCEL, 1602, true, "1.0"},
    };
    const std::wstring folder = earlierFolder_ + L"\\";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        ASSERT_EQ(0u, RunToEnd(*firstSetup_, L"--silent --installto=\"" + earlierFolder_ + L"\""));
        ASSERT_EQ("only in 1.0\r\n", ReadBytes(folder + L"old.txt"));

        std::string log;
        RunningInstaller setup(*secondSetup_, L"", kVersions);
        HWND wizard = setup.WaitForWizard();
        ASSERT_NE(nullptr, wizard);
        EXPECT_EQ(TextOf(Item(wizard, IDC_FOLDER)), earlierFolder_) << "1.0's folder is proposed";
        ASSERT_EQ(0u, Drive({L"click", setup.Caption(), std::to_wstring(IDC_INSTALL)}, log)) << log;
        EXPECT_EQ(WaitAndAnswer(L"Setup has detected an existing version", c.answer),
                  L"Setup has detected an existing version of Tarvo E2E Versions.\r\n\r\n"
                  L"  Installing Version: 2.0\r\n  Existing Version: 1.0\r\n\r\n"
                  L"Uninstall existing before installing new? (Cancel to exit, leaving existing version).");
        ASSERT_TRUE(setup.WaitForPage(OnFinishedPage));
        ASSERT_EQ(0u, Drive({L"click", setup.Caption(), std::to_wstring(IDC_CANCEL_FINISH)}, log)) << log;
        EXPECT_EQ(c.code, setup.Finish());

        const std::string version = c.installedVersion;
        EXPECT_EQ(c.oldFileLeft, Exists(folder + L"old.txt"));
        EXPECT_EQ(version == "2.0", Exists(folder + L"new.txt"));
        EXPECT_EQ("shared " + version + "\r\n", ReadBytes(folder + L"shared.txt"));
        EXPECT_EQ(Narrow(ReadString(HKEY_LOCAL_MACHINE, kVersionsKey, L"Version").value_or(L"-")), version);
        EXPECT_EQ(Narrow(ReadString(HKEY_LOCAL_MACHINE, UninstallKey(kVersions), L"DisplayVersion").value_or(L"-")),
                  version);
        std::string record = ReadBytes(RecordFile(kVersions));
        EXPECT_NE(record.find("[ProgramVersion]\r\n" + version + "\r\n"), std::string::npos) << record;
        EXPECT_NE(record.find("[Install To]\r\n" + Narrow(earlierFolder_) + "\r\n"), std::string::npos) << record;
    }
}

// --- A file in use -------------------------------------------------------------------------------

const std::wstring kInUse = L"Tarvo E2E In Use";

// Two files without a version resource; the test holds one of them open before installing.
class FileInUse : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        installer_.Start();
        installer_.Source().File(L"held.txt", "new held\r\n");
        installer_.Source().File(L"free.txt", "new free\r\n");
        installer_.Source().Script(
            "[Project Name]\nTarvo E2E In Use\n\n[Install To]\n<Program Files>\\Tarvo E2E In Use\n\n"
            "[CopyFile]\nheld.txt\n<Destination>\\held.txt\n\n"
            "[CopyFile]\nfree.txt\n<Destination>\\free.txt\n");
        installer_.Build(L"in-use-setup.exe");
    }
    static void TearDownTestSuite() { installer_.Drop(); }
    void SetUp() override {
        ASSERT_FALSE(installer_.Setup().empty()) << "the installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        ForgetProduct(kInUse);
        // Wine keeps the restart's file operations in the registry like Windows does, and would
        // carry them out at its next start.
        ForgetPendingRenames(L"\\" + kInUse + L"\\");
    }
    static std::wstring Folder() { return ProgramFiles() + L"\\" + kInUse + L"\\"; }

    static SuiteInstaller installer_;
};
SuiteInstaller FileInUse::installer_;

// The file in use is replaced at the next restart. A silent install asks for the restart by
// itself (1641); "--norestart" holds it back and says that one is still needed (3010). In the
// wizard the restart is a ticked row of the Finished page: kept, the restart is asked for (1641);
// unticked, it is not (3010).
TEST_F(FileInUse, TheReplacementWaitsForTheRestart) {
    struct Case {
        const char* name;
        const wchar_t* switches;
        bool interactive;
        bool restartRowTicked;
        DWORD code;
    };
    const Case cases[] = {
        {"silent, --norestart", L"--silent --norestart", false, false, 3010},
        {"silent", L"--silent", false, false, 1641},
        {"wizard, restart row kept", L"", true, true, 1641},
        {"wizard, restart row unticked", L"", true, false, 3010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        ::CreateDirectoryW(Folder().c_str(), nullptr);
        tarvo::testing::WriteBytes(Folder() + L"held.txt", "old held\r\n");
        HeldFile held(Folder() + L"held.txt");
        ASSERT_TRUE(held.Held());

        RunningInstaller setup(installer_.Setup(), c.switches, kInUse);
        if (c.interactive) {
            std::string log;
            ASSERT_EQ(0u, Drive({L"wait", setup.Caption(), L"30000", L"click", setup.Caption(),
                                 std::to_wstring(IDC_INSTALL)},
                                log))
                << log;
            // One row: the restart.
            ASSERT_TRUE(setup.WaitForPage([](HWND w) { return OnFinishedPage(w) && RowCount(OptionList(w)) == 1; }));
            HWND wizard = setup.WaitForWizard();
            if (c.restartRowTicked) {
                EXPECT_FALSE(Screenshot(wizard, L"install-finished-restart").empty());
            } else {
                ASSERT_TRUE(ClickRowTick(OptionList(wizard), 0));
            }
            ASSERT_EQ(0u, Drive({L"click", setup.Caption(), std::to_wstring(IDC_CANCEL_FINISH)}, log)) << log;
        }
        EXPECT_EQ(c.code, setup.Finish());

        EXPECT_EQ("new free\r\n", ReadBytes(Folder() + L"free.txt"));
        EXPECT_EQ("new held\r\n", ReadBytes(Folder() + L"held.txt-TVITMP")) << "the copy that waits for the restart";
        // At the restart: the old file goes, then the copy takes its name.
        auto pending = PendingRenames();
        const std::wstring heldPath = Folder() + L"held.txt";
        auto endsWith = [](const std::wstring& text, const std::wstring& tail) {
            return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        };
        int deletion = -1, rename = -1;
        for (size_t i = 0; i < pending.size(); ++i) {
            if (endsWith(pending[i].first, heldPath) && pending[i].second.empty()) deletion = int(i);
            if (endsWith(pending[i].first, heldPath + L"-TVITMP") && endsWith(pending[i].second, heldPath)) {
                rename = int(i);
            }
        }
        std::string listed;
        for (const auto& p : pending) listed += "\n  " + Narrow(p.first) + " -> " + Narrow(p.second);
        EXPECT_GE(deletion, 0) << "no deletion of the file in use is pending:" << listed;
        EXPECT_GT(rename, deletion) << "no rename of the copy after the deletion is pending:" << listed;
        // The installation counts as done: it has its uninstall record.
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kInUse)));
        held.Release();
        EXPECT_EQ("old held\r\n", ReadBytes(heldPath));
    }
}

// --- Damaged packages ----------------------------------------------------------------------------

const std::wstring kDamaged = L"Tarvo E2E Damaged";

// A bare package of two files, damaged in two ways and put into this tree's installer: a byte
// changed in the middle (the body checksum no longer matches), and a byte changed inside the
// second file's stream with the body checksum made right again (only that entry is bad).
class DamagedPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        project_ = new Project;
        broken_ = new std::wstring;
        badEntry_ = new std::wstring;
        // Enough bytes that the middle of the package lies in a stream.
        std::string first;
        for (int i = 0; i < 4000; ++i) first += "line " + std::to_string(i * 7919 % 10007) + "\r\n";
        project_->File(L"a.txt", first);
        project_->File(L"b.txt", "the second file\r\n");
        project_->Script(
            "[Project Name]\nTarvo E2E Damaged\n\n[Install To]\n<Program Files>\\Tarvo E2E Damaged\n\n"
            "[CopyFile]\na.txt\n<Destination>\\a.txt\n\n"
            "[CopyFile]\nb.txt\n<Destination>\\b.txt\n");
        const std::wstring package = project_->OutputFolder() + L"\\damaged.pkg";
        Program builder(DistFile(L"tarvo-build.exe"),
                        L"build " + QuoteArgument(project_->Path()) + L" --raw -o " + QuoteArgument(package));
        ASSERT_EQ(0u, builder.Finish()) << builder.Output();
        const std::string good = ReadBytes(package);
        ASSERT_GT(good.size(), 1000u);

        std::string broken = good;
        broken[broken.size() / 2] = char(broken[broken.size() / 2] ^ 0x5A);
        *broken_ = Embed(broken, L"broken-setup.exe");

        std::string badEntry = good;
        auto stream = EntryStream(badEntry, "1002 - b.txt");
        ASSERT_GT(stream.second, 13u) << "no entry for b.txt";
        const size_t at = stream.first + 13 + (stream.second - 13) / 2;
        badEntry[at] = char(badEntry[at] ^ 0x5A);
        WriteU32(badEntry, badEntry.size() - 24, BodyChecksum(badEntry));
        *badEntry_ = Embed(badEntry, L"bad-entry-setup.exe");
    }
    static void TearDownTestSuite() {
        delete project_;
        delete broken_;
        delete badEntry_;
    }
    // The package as it is, put into this tree's installer by the builder.
    static std::wstring Embed(const std::string& package, const std::wstring& name) {
        const std::wstring packagePath = project_->OutputFolder() + L"\\" + name + L".pkg";
        const std::wstring out = project_->OutputFolder() + L"\\" + name;
        tarvo::testing::WriteBytes(packagePath, package);
        Program builder(DistFile(L"tarvo-build.exe"), L"embed " + QuoteArgument(DistFile(L"tarvo-setup.exe")) + L" " +
                                                           QuoteArgument(packagePath) + L" -o " + QuoteArgument(out));
        EXPECT_EQ(0u, builder.Finish()) << builder.Output();
        return Exists(out) ? out : std::wstring();
    }
    void SetUp() override {
        ASSERT_FALSE(broken_->empty() || badEntry_->empty()) << "the installers were not made";
        ForgetProduct(kDamaged);
    }
    void TearDown() override { ForgetProduct(kDamaged); }
    static std::wstring Folder() { return ProgramFiles() + L"\\" + kDamaged + L"\\"; }

    static Project* project_;
    static std::wstring* broken_;
    static std::wstring* badEntry_;
};
Project* DamagedPackage::project_ = nullptr;
std::wstring* DamagedPackage::broken_ = nullptr;
std::wstring* DamagedPackage::badEntry_ = nullptr;

// The launcher finds the damage before anything else happens: the message comes twice (the
// archive, then the missing script), in silent mode too; no second instance is started, nothing
// is installed, and the exit code is 1603.
TEST_F(DamagedPackage, ADamagedPackageIsReportedAndInstallsNothing) {
    const std::wstring message = L"This installation is corrupted, please obtain a new copy.";
    for (const wchar_t* switches : {L"", L"--silent"}) {
        SCOPED_TRACE(Narrow(switches));
        std::string log;
        RunningInstaller setup(*broken_, switches, kDamaged);
        for (int box = 0; box < 2; ++box) {
            HWND shown = nullptr;
            ASSERT_TRUE(WaitUntil([&] { return (shown = FindMessageBox(message)) != nullptr; })) << "box " << box;
            EXPECT_EQ(ProcessOf(shown), setup.LauncherPid());
            EXPECT_EQ(TextOf(shown), L"Setup");
            EXPECT_TRUE(ChildrenOf(setup.LauncherPid(), setup.ExeName()).empty()) << "a second instance was started";
            ASSERT_EQ(0u, Drive({L"answer", message, L"OK"}, log)) << log;
            ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(shown); }));
        }
        EXPECT_EQ(1603u, setup.Finish());
        EXPECT_FALSE(Exists(Folder()));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kDamaged)));
    }
}

// A file whose entry is damaged stops the installation where it comes: the files before it stay,
// no uninstall record is written, and a silent run ends with 1603.
TEST_F(DamagedPackage, ADamagedFileStopsTheSilentInstallation) {
    const std::wstring message = L"This installation file is corrupted, please obtain a new copy.";
    std::string log;
    RunningInstaller setup(*badEntry_, L"--silent", kDamaged);
    HWND shown = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (shown = FindMessageBox(message)) != nullptr; }));
    std::vector<ProcessEntry> instances = ChildrenOf(setup.LauncherPid(), setup.ExeName());
    ASSERT_EQ(1u, instances.size());
    EXPECT_EQ(ProcessOf(shown), instances[0].pid) << "the elevated instance reports it";
    EXPECT_EQ(TextOf(shown), kDamaged + L" Installer");
    ASSERT_EQ(0u, Drive({L"answer", message, L"OK"}, log)) << log;
    EXPECT_EQ(1603u, setup.Finish(60000));
    EXPECT_TRUE(Exists(Folder() + L"a.txt"));
    EXPECT_FALSE(Exists(Folder() + L"b.txt"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kDamaged)));
    EXPECT_FALSE(Exists(RecordFile(kDamaged)));
}

}  // namespace
