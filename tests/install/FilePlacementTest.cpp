#include "install/FilePlacement.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/Process.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// Modules built by tests/fixtures/engine, beside the test executables' folders.
std::wstring EngineFixture(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.rfind(L'\\') + 1);
    return folder + L"..\\fixtures\\engine\\" + name;
}

std::string FixtureBytes(const wchar_t* name) {
    std::string bytes = ReadBytes(EngineFixture(name));
    EXPECT_FALSE(bytes.empty()) << "fixture missing: " << std::string(WString(EngineFixture(name).c_str()).Narrow());
    return bytes;
}

std::wstring Expanded(const wchar_t* text) {
    WString expanded(text);
    ExpandPlaceholders(expanded);
    return expanded.c_str();
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
    return text;
}

std::vector<std::wstring> QueuedPaths() {
    std::vector<std::wstring> paths;
    for (int i = 0; i < RegistrationQueue.Count(); ++i) paths.push_back(RegistrationQueue.At(i).c_str());
    return paths;
}

// The delayed moves that Windows (and wine) keeps for the next start: pairs of source and
// destination, the destination empty for a deletion.
const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";
using RenamePair = std::pair<std::wstring, std::wstring>;

std::vector<RenamePair> PendingRenames() {
    std::vector<RenamePair> pairs;
    RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return pairs;
    }
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return pairs;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
    if (::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return pairs;
    }
    size_t at = 0;
    auto next = [&]() {
        std::wstring text(data.data() + at);
        at += text.size() + 1;
        return text;
    };
    while (at < data.size()) {
        std::wstring source = next();
        if (source.empty() || at >= data.size()) break;
        std::wstring destination = next();
        pairs.emplace_back(source, destination);
    }
    return pairs;
}

// Takes out every pair that mentions `path` (any case), so that no later wine session acts on
// what a test scheduled.
void RemovePendingRenames(const std::wstring& path) {
    std::vector<RenamePair> kept;
    bool changed = false;
    const std::wstring needle = Lower(path);
    for (const auto& pair : PendingRenames()) {
        if (Lower(pair.first).find(needle) != std::wstring::npos || Lower(pair.second).find(needle) != std::wstring::npos) {
            changed = true;
        } else {
            kept.push_back(pair);
        }
    }
    if (!changed) return;
    RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) return;
    if (kept.empty()) {
        ::RegDeleteValueW(key.Get(), kPendingRenames);
        return;
    }
    std::wstring data;
    for (const auto& pair : kept) {
        data += pair.first;
        data += L'\0';
        data += pair.second;
        data += L'\0';
    }
    data += L'\0';
    ::RegSetValueExW(key.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                     DWORD(data.size() * sizeof(wchar_t)));
}

std::vector<RenamePair> PendingRenamesOf(const std::wstring& path) {
    std::vector<RenamePair> found;
    const std::wstring needle = Lower(path);
    for (const auto& pair : PendingRenames()) {
        if (Lower(pair.first).find(needle) != std::wstring::npos || Lower(pair.second).find(needle) != std::wstring::npos) {
            found.push_back(pair);
        }
    }
    return found;
}

// Keeps a destination in use, as another program would: open without sharing, open for reading
// while refusing writers, or loaded as a module.
enum class Use { NoSharing, ReadersOnly, LoadedModule };

class InUse {
public:
    InUse(const std::wstring& path, Use use) {
        if (use == Use::LoadedModule) {
            module_.Reset(::LoadLibraryW(path.c_str()));
        } else {
            DWORD share = use == Use::ReadersOnly ? FILE_SHARE_READ : 0;
            file_.Reset(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        }
    }
    bool Held() const { return file_.Valid() || module_.Valid(); }

private:
    FileHandle file_;
    ModuleHandle module_;
};

const char* UseName(Use use) {
    return use == Use::NoSharing ? "open without sharing" : use == Use::ReadersOnly ? "open for readers" : "loaded";
}

const HWND kOwner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150));

// One installation in a scratch folder: "<Destination>" is scratch\app, the temporary folder of
// the process (and so every temporary file the placement makes) is scratch\temp, and the package
// holds the entries a test gives.
class PlacementTest : public ::testing::Test {
protected:
    PlacementTest() {
        temp_ = scratch_ / L"temp";
        ::CreateDirectoryW(temp_.c_str(), nullptr);
        SaveVariable(L"TMP", savedTmp_);
        SaveVariable(L"TEMP", savedTemp_);
        ::SetEnvironmentVariableW(L"TMP", temp_.c_str());
        ::SetEnvironmentVariableW(L"TEMP", temp_.c_str());
        savedDestination_ = DestinationFolder;
        DestinationFolder = WString((scratch_ / L"app").c_str());
        savedCaption_ = InstallerCaption;
        InstallerCaption = L"Placement Test";
        RegistrationQueue.Clear();
        RestartNeeded = false;
    }
    ~PlacementTest() override {
        CurrentPackage = nullptr;
        package_.reset();
        RegistrationQueue.Clear();
        RestartNeeded = false;
        DestinationFolder = savedDestination_;
        InstallerCaption = savedCaption_;
        RestoreVariable(L"TMP", savedTmp_);
        RestoreVariable(L"TEMP", savedTemp_);
    }

    void LoadPackage(std::vector<FixtureEntry> entries) {
        entries.insert(entries.begin(), Entry("setup.dat", "[CopyFile]\r\n"));
        bytes_ = Archive(entries);
        bool failed = true;
        CurrentPackage = nullptr;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        ASSERT_FALSE(failed);
        CurrentPackage = package_.get();
    }

    std::wstring App(const std::wstring& relative) const { return scratch_ / (L"app\\" + relative); }

    // Temporary files that placement made and left behind ("Ins..." in the temporary folder).
    std::vector<std::wstring> Leftovers() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((temp_ + L"\\Ins*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do names.push_back(data.cFileName);
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
        return names;
    }

    ScratchFolder scratch_;
    std::wstring temp_;
    MessageRecorder boxes_{IDCANCEL};

private:
    static void SaveVariable(const wchar_t* name, std::wstring& saved) {
        wchar_t buffer[MAX_PATH] = {0};
        DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
        saved = n > 0 && n < MAX_PATH ? buffer : L"";
    }
    static void RestoreVariable(const wchar_t* name, const std::wstring& saved) {
        ::SetEnvironmentVariableW(name, saved.empty() ? nullptr : saved.c_str());
    }

    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    std::wstring savedTmp_, savedTemp_;
    WString savedDestination_;
    WString savedCaption_;
};

// --- versions -----------------------------------------------------------------------------------

TEST(FileVersion, ReadsTheFixedFileVersionOfModules) {
    struct Case {
        const wchar_t* fixture;
        uint32_t high, low;
    } cases[] = {
        {L"ver2000.dll", 0x00020000, 0x00000000},
        {L"ver2099.dll", 0x00020000, 0x00090009},
        {L"ver3001.dll", 0x00030000, 0x00000001},
        {L"verapp.exe", 0x00010002, 0x00030004},
        {L"selfreg.dll", 0, 0},  // a module without a version resource
    };
    for (const auto& c : cases) {
        VersionPair version = FileVersion(WString(EngineFixture(c.fixture).c_str()));
        EXPECT_EQ(c.high, version.high) << std::string(WString(c.fixture).Narrow());
        EXPECT_EQ(c.low, version.low) << std::string(WString(c.fixture).Narrow());
    }
}

TEST(FileVersion, FilesWithoutVersionAndMissingFilesHaveNone) {
    ScratchFolder scratch;
    WriteBytes(scratch / L"notes.dll", "not a module");
    WriteBytes(scratch / L"empty.dll", "");
    EXPECT_TRUE(FileVersion(WString((scratch / L"notes.dll").c_str())).IsNone());
    EXPECT_TRUE(FileVersion(WString((scratch / L"missing.dll").c_str())).IsNone());
    EXPECT_TRUE(FileVersion(WString((scratch / L"empty.dll").c_str())).IsNone());
}

TEST(FileVersion, PairsCompareHighHalfFirst) {
    EXPECT_TRUE((VersionPair{2, 0xFFFFFFFF}) < (VersionPair{3, 0}));
    EXPECT_FALSE((VersionPair{3, 0}) < (VersionPair{2, 0xFFFFFFFF}));
    EXPECT_TRUE((VersionPair{3, 0}) < (VersionPair{3, 1}));
    EXPECT_FALSE((VersionPair{3, 1}) < (VersionPair{3, 1}));
}

// --- placing over what is there -------------------------------------------------------------------

TEST_F(PlacementTest, CopiesUnlessThePackageFileIsOlder) {
    const std::string oldTail = "installed copy";
    struct Case {
        const char* what;
        std::string package;    // the entry's bytes
        std::string installed;  // the destination's bytes before; empty: no destination
        bool copied;
    } cases[] = {
        {"older package version", FixtureBytes(L"ver2000.dll"), FixtureBytes(L"ver3000.dll"), false},
        {"older in the low half", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver3001.dll"), false},
        {"newer in the low half", FixtureBytes(L"ver3001.dll"), FixtureBytes(L"ver3000.dll"), true},
        {"newer high half, older low half", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver2099.dll"), true},
        {"older high half, newer low half", FixtureBytes(L"ver2099.dll"), FixtureBytes(L"ver3000.dll"), false},
        {"equal versions", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver3000.dll") + oldTail, true},
        {"no version over a version", "plain package file", FixtureBytes(L"ver2000.dll"), false},
        {"no version over no version", "plain package file", oldTail, true},
        {"a version over no version", FixtureBytes(L"ver2000.dll"), oldTail, true},
        {"nothing there yet", FixtureBytes(L"ver2000.dll"), "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadPackage({Entry("lib.dll", c.package)});
        RegistrationQueue.Clear();
        std::wstring destination = App(L"Sub Folder\\lib.dll");
        ::DeleteFileW(destination.c_str());
        if (!c.installed.empty()) {
            ::CreateDirectoryW(App(L"").c_str(), nullptr);
            ::CreateDirectoryW(App(L"Sub Folder").c_str(), nullptr);
            WriteBytes(destination, c.installed);
        }

        EXPECT_FALSE(PlaceFile(L"lib.dll", L"<Destination>\\Sub Folder\\lib.dll", kOwner));

        EXPECT_EQ(c.copied ? c.package : c.installed, ReadBytes(destination));
        // Copied or not, the library belongs to the installation and is registered.
        EXPECT_EQ(std::vector<std::wstring>{destination}, QueuedPaths());
        EXPECT_TRUE(boxes_.calls.empty());
        EXPECT_FALSE(Exists(destination + L"-TVITMP"));
        EXPECT_FALSE(RestartNeeded);
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(PlacementTest, ExpandsTheEntryNameAndQueuesOnlyLibraries) {
    LoadPackage({Entry("verapp.exe", FixtureBytes(L"verapp.exe")), Entry("Viewer.OCX", "control")});
    EXPECT_FALSE(PlaceFile(L"verapp.exe", L"<Destination>\\bin\\x.exe", kOwner));
    EXPECT_FALSE(PlaceFile(L"viewer.ocx", L"<Destination>\\bin\\X.OCX", kOwner));
    EXPECT_EQ(FixtureBytes(L"verapp.exe"), ReadBytes(App(L"bin\\x.exe")));
    EXPECT_EQ("control", ReadBytes(App(L"bin\\X.OCX")));
    EXPECT_EQ(std::vector<std::wstring>{App(L"bin\\X.OCX")}, QueuedPaths());
}

TEST(QueueForRegistration, TakesLibrariesAndControlsInAnyCase) {
    struct Case {
        const wchar_t* path;
        bool queued;
    } cases[] = {
        {L"C:\\App\\X.OCX", true},      {L"C:\\App\\x.ocx", true},         {L"C:\\App\\core.Dll", true},
        {L"C:\\App\\x.exe", false},     {L"C:\\App\\x.dll.bak", false},    {L"C:\\App\\x.ocx2", false},
        {L"C:\\App.dll\\x", false},     {L"C:\\App\\dll", false},          {L"lib.DLL", true},
    };
    for (const auto& c : cases) {
        RegistrationQueue.Clear();
        QueueForRegistration(c.path);
        EXPECT_EQ(c.queued ? 1 : 0, RegistrationQueue.Count()) << std::string(WString(c.path).Narrow());
    }
    RegistrationQueue.Clear();
}

TEST_F(PlacementTest, ReadOnlyHiddenDestinationsAreOverwritten) {
    LoadPackage({Entry("readme.txt", "new text")});
    std::wstring destination = App(L"readme.txt");
    ::CreateDirectoryW(App(L"").c_str(), nullptr);
    WriteBytes(destination, "old text");
    ::SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    EXPECT_FALSE(PlaceFile(L"readme.txt", L"<Destination>\\readme.txt", kOwner));

    EXPECT_EQ("new text", ReadBytes(destination));
    EXPECT_EQ(0u, ::GetFileAttributesW(destination.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(boxes_.calls.empty());
    EXPECT_TRUE(QueuedPaths().empty());
}

// --- files in use ---------------------------------------------------------------------------------

TEST_F(PlacementTest, FileInUseIsReplacedAtTheNextRestart) {
    struct Case {
        const char* what;
        std::string package, installed;
        Use use;
    } cases[] = {
        {"newer package version", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver2000.dll"), Use::ReadersOnly},
        {"newer package version", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver2000.dll"), Use::LoadedModule},
        // Without sharing even the version cannot be read: the installed file counts as unversioned.
        {"same version", FixtureBytes(L"ver3000.dll"), FixtureBytes(L"ver3000.dll") + "installed", Use::NoSharing},
        {"neither has a version", "new plain bytes", "old plain bytes", Use::ReadersOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", " + UseName(c.use));
        LoadPackage({Entry("core.dll", c.package)});
        RegistrationQueue.Clear();
        RestartNeeded = false;
        std::wstring destination = App(L"core.dll");
        std::wstring sideName = destination + L"-TVITMP";
        ::CreateDirectoryW(App(L"").c_str(), nullptr);
        WriteBytes(destination, c.installed);
        {
            InUse holder(destination, c.use);
            ASSERT_TRUE(holder.Held());
            EXPECT_FALSE(PlaceFile(L"core.dll", L"<Destination>\\core.dll", kOwner));
        }
        std::vector<RenamePair> scheduled = PendingRenamesOf(destination);
        RemovePendingRenames(destination);

        EXPECT_TRUE(RestartNeeded);
        EXPECT_TRUE(boxes_.calls.empty());
        EXPECT_EQ(c.installed, ReadBytes(destination));
        EXPECT_EQ(c.package, ReadBytes(sideName));
        EXPECT_EQ(std::vector<std::wstring>{destination}, QueuedPaths());
        EXPECT_TRUE(Leftovers().empty());
        // At the next start: the file in use goes, then the copy takes its name.
        ASSERT_EQ(2u, scheduled.size());
        EXPECT_EQ(Lower(L"\\??\\" + destination), Lower(scheduled[0].first));
        EXPECT_EQ(L"", scheduled[0].second);
        EXPECT_EQ(Lower(L"\\??\\" + sideName), Lower(scheduled[1].first));
        EXPECT_EQ(Lower(L"\\??\\" + destination), Lower(scheduled[1].second));
        EXPECT_TRUE(PendingRenamesOf(destination).empty());
        ::DeleteFileW(sideName.c_str());
    }
}

TEST_F(PlacementTest, SameVersionInUseIsLeftAlone) {
    LoadPackage({Entry("core.dll", FixtureBytes(L"ver3000.dll"))});
    std::wstring destination = App(L"core.dll");
    ::CreateDirectoryW(App(L"").c_str(), nullptr);
    const std::string installed = FixtureBytes(L"ver3000.dll") + "installed";
    WriteBytes(destination, installed);
    for (Use use : {Use::ReadersOnly, Use::LoadedModule}) {
        SCOPED_TRACE(UseName(use));
        RegistrationQueue.Clear();
        {
            InUse holder(destination, use);
            ASSERT_TRUE(holder.Held());
            EXPECT_FALSE(PlaceFile(L"core.dll", L"<Destination>\\core.dll", kOwner));
        }
        std::vector<RenamePair> scheduled = PendingRenamesOf(destination);
        RemovePendingRenames(destination);

        EXPECT_TRUE(scheduled.empty());
        EXPECT_FALSE(RestartNeeded);
        EXPECT_FALSE(Exists(destination + L"-TVITMP"));
        EXPECT_EQ(installed, ReadBytes(destination));
        EXPECT_TRUE(boxes_.calls.empty());
        EXPECT_EQ(std::vector<std::wstring>{destination}, QueuedPaths());
    }
}

TEST_F(PlacementTest, FileInUseThatCannotBeScheduledIsReported) {
    LoadPackage({Entry("core.dll", FixtureBytes(L"ver3000.dll"))});
    std::wstring destination = App(L"core.dll");
    ::CreateDirectoryW(App(L"").c_str(), nullptr);
    WriteBytes(destination, FixtureBytes(L"ver2000.dll"));
    // The side copy cannot be made where a folder has its name.
    ::CreateDirectoryW((destination + L"-TVITMP").c_str(), nullptr);
    {
        InUse holder(destination, Use::ReadersOnly);
        ASSERT_TRUE(holder.Held());
        EXPECT_FALSE(PlaceFile(L"core.dll", L"<Destination>\\core.dll", kOwner));
    }
    std::vector<RenamePair> scheduled = PendingRenamesOf(destination);
    RemovePendingRenames(destination);

    EXPECT_TRUE(scheduled.empty());
    EXPECT_FALSE(RestartNeeded);
    ASSERT_EQ(1u, boxes_.calls.size());
    EXPECT_EQ(L"Unable to replace file(s) in use, uninstall existing version, restart Windows and reinstall.",
              boxes_.Text(0));
    EXPECT_EQ(UINT(MB_OK), boxes_.calls[0].type);
    EXPECT_EQ(L"Placement Test", std::wstring(boxes_.calls[0].caption.c_str()));
    EXPECT_EQ(kOwner, boxes_.calls[0].owner);
    // The installation goes on, and the library is still registered.
    EXPECT_EQ(std::vector<std::wstring>{destination}, QueuedPaths());
}

// --- failures ---------------------------------------------------------------------------------------

TEST_F(PlacementTest, CopyFailureAsksRetryOrCancelAndCancelStopsTheInstall) {
    LoadPackage({Entry("blocked.dll", FixtureBytes(L"ver2000.dll"))});
    // A folder where the file should go: the copy fails for another reason than use.
    std::wstring destination = App(L"blocked.dll");
    ::CreateDirectoryW(App(L"").c_str(), nullptr);
    ::CreateDirectoryW(destination.c_str(), nullptr);
    boxes_.answers = {IDRETRY, IDCANCEL};

    EXPECT_TRUE(PlaceFile(L"blocked.dll", L"<Destination>\\blocked.dll", kOwner));

    ASSERT_EQ(2u, boxes_.calls.size());
    for (const auto& box : boxes_.calls) {
        EXPECT_EQ(L"Cannot install '" + destination + L"', disk may be full.", std::wstring(box.text.c_str()));
        EXPECT_EQ(UINT(MB_RETRYCANCEL | MB_ICONERROR | MB_DEFBUTTON2), box.type);
        EXPECT_EQ(L"Placement Test", std::wstring(box.caption.c_str()));
        EXPECT_EQ(kOwner, box.owner);
    }
    EXPECT_TRUE(QueuedPaths().empty());
    EXPECT_FALSE(RestartNeeded);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(PlacementTest, RetryCopiesAgain) {
    LoadPackage({Entry("blocked.dll", FixtureBytes(L"ver2000.dll"))});
    std::wstring destination = App(L"blocked.dll");
    ::CreateDirectoryW(App(L"").c_str(), nullptr);
    ::CreateDirectoryW(destination.c_str(), nullptr);
    int asked = 0;
    // The user clears the way before answering Retry.
    MessageBoxHook previous = SetMessageBoxHook([&](const MessageBoxCall&) {
        ++asked;
        ::RemoveDirectoryW(destination.c_str());
        return IDRETRY;
    });

    bool failed = PlaceFile(L"blocked.dll", L"<Destination>\\blocked.dll", kOwner);
    SetMessageBoxHook(std::move(previous));

    EXPECT_FALSE(failed);
    EXPECT_EQ(1, asked);
    EXPECT_EQ(FixtureBytes(L"ver2000.dll"), ReadBytes(destination));
    EXPECT_EQ(std::vector<std::wstring>{destination}, QueuedPaths());
}

TEST_F(PlacementTest, EntryThatCannotBeExtractedStopsTheInstall) {
    LoadPackage({Entry("present.dll", "bytes")});
    EXPECT_TRUE(PlaceFile(L"absent.dll", L"<Destination>\\absent.dll", kOwner));

    ASSERT_EQ(1u, boxes_.calls.size());
    EXPECT_EQ(L"This installation file is corrupted, please obtain a new copy.", boxes_.Text(0));
    EXPECT_EQ(UINT(MB_OK | MB_ICONERROR), boxes_.calls[0].type);
    EXPECT_EQ(L"Placement Test", std::wstring(boxes_.calls[0].caption.c_str()));
    EXPECT_EQ(kOwner, boxes_.calls[0].owner);
    EXPECT_FALSE(Exists(App(L"absent.dll")));
    EXPECT_TRUE(QueuedPaths().empty());
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(PlacementTest, WithoutAPackageNothingCanBeExtracted) {
    CurrentPackage = nullptr;
    EXPECT_TRUE(PlaceFile(L"lib.dll", L"<Destination>\\lib.dll", kOwner));
    ASSERT_EQ(1u, boxes_.calls.size());
    EXPECT_EQ(L"This installation file is corrupted, please obtain a new copy.", boxes_.Text(0));
    EXPECT_FALSE(Exists(App(L"lib.dll")));
    EXPECT_TRUE(Leftovers().empty());
}

// --- self-registration -------------------------------------------------------------------------------

// The fixture libraries record their registration in the file named by TARVO_SELFREG_MARK.
class RegistrationTest : public PlacementTest {
protected:
    RegistrationTest() : mark_(scratch_ / L"registered.txt") {
        ::SetEnvironmentVariableW(L"TARVO_SELFREG_MARK", mark_.c_str());
    }
    ~RegistrationTest() override {
        ::SetEnvironmentVariableW(L"TARVO_SELFREG_MARK", nullptr);
        SetRegistrationCommandRunner(nullptr);
    }

    // One "library|program that registered it" pair per line.
    std::vector<std::pair<std::wstring, std::wstring>> Registered() const {
        std::vector<std::pair<std::wstring, std::wstring>> lines;
        std::string bytes = ReadBytes(mark_);
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find("\r\n", start);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            size_t bar = line.find('|');
            wchar_t wide[2048] = {0};
            ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide, 2048);
            std::wstring text(wide);
            size_t wideBar = text.find(L'|');
            if (bar != std::string::npos && wideBar != std::wstring::npos) {
                lines.emplace_back(text.substr(0, wideBar), text.substr(wideBar + 1));
            }
            start = end + 2;
        }
        return lines;
    }

    std::wstring Place(const wchar_t* fixture, const std::wstring& relative) {
        std::wstring destination = App(relative);
        WString folder = PathFolder(WString(destination.c_str()));
        CreateFolderTree(folder);
        EXPECT_TRUE(::CopyFileW(EngineFixture(fixture).c_str(), destination.c_str(), FALSE));
        QueueForRegistration(WString(destination.c_str()));
        return destination;
    }

    std::wstring mark_;
};

std::vector<std::wstring> commandsRun;
bool RecordCommand(const WString& commandLine, bool wait) {
    commandsRun.push_back(std::wstring(commandLine.c_str()) + (wait ? L" [wait]" : L" [no wait]"));
    return true;
}

TEST_F(RegistrationTest, CallsEachLibrarysEntryPointInOrder) {
    std::wstring first = Place(L"selfreg-regsvr32.dll", L"Shared Parts\\first.dll");
    std::wstring second = Place(L"selfreg.dll", L"Common Files\\second.ocx");
    Place(L"ver2000.dll", L"plain.dll");  // loads, but has no entry point

    RegisterComponents();

    EXPECT_EQ(0, RegistrationQueue.Count());
    auto registered = Registered();
    ASSERT_EQ(2u, registered.size());
    // The library that refuses to load here was registered by regsvr32, through the command line
    // with its quoted path (the folder has a blank); the other one in this process.
    EXPECT_EQ(Lower(first), Lower(registered[0].first));
    EXPECT_EQ(Lower(Expanded(L"<Windows>\\system32\\regsvr32.exe")), Lower(registered[0].second));
    EXPECT_EQ(Lower(second), Lower(registered[1].first));
    wchar_t self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(Lower(self), Lower(registered[1].second));
}

TEST_F(RegistrationTest, LibrariesThatCannotBeLoadedGoToRegsvr32) {
    commandsRun.clear();
    SetRegistrationCommandRunner(&RecordCommand);
    std::wstring other = Place(L"selfreg-other.dll", L"x86 Parts\\other.dll");  // another processor's
    std::wstring notALibrary = App(L"notes.ocx");
    WriteBytes(notALibrary, "this is not a module");
    QueueForRegistration(WString(notALibrary.c_str()));
    Place(L"ver2000.dll", L"plain.dll");

    RegisterComponents();

    const std::wstring regsvr32 = Expanded(L"<Windows>\\system32\\regsvr32.exe");
    std::vector<std::wstring> expected = {
        L"\"" + regsvr32 + L"\" /s \"" + other + L"\" [wait]",
        L"\"" + regsvr32 + L"\" /s \"" + notALibrary + L"\" [wait]",
    };
    EXPECT_EQ(expected, commandsRun);
    EXPECT_TRUE(Registered().empty());
    EXPECT_EQ(0, RegistrationQueue.Count());
}

TEST_F(RegistrationTest, AnEmptyQueueRegistersNothing) {
    commandsRun.clear();
    SetRegistrationCommandRunner(&RecordCommand);
    RegisterComponents();
    EXPECT_TRUE(commandsRun.empty());
    EXPECT_TRUE(Registered().empty());
}

}  // namespace
