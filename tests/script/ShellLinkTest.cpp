#include "script/ShellLink.h"

#include "base/Handle.h"
#include "base/Process.h"
#include "common/WinTestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// What a shortcut file holds, read back through the shell's own link object.
struct LinkFields {
    bool loaded = false;
    std::wstring path, arguments, workingFolder, description, iconFile;
    int iconIndex = 0;
    int showCommand = 0;
    WORD hotKey = 0;
};

LinkFields ReadLink(const std::wstring& file) {
    LinkFields fields;
    ComRef<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.Receive())))) {
        return fields;
    }
    ComRef<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.Receive())))) return fields;
    if (FAILED(persist->Load(file.c_str(), STGM_READ))) return fields;
    fields.loaded = true;
    wchar_t buffer[MAX_PATH];
    auto take = [&](HRESULT hr) { return std::wstring(SUCCEEDED(hr) ? buffer : L"<failed>"); };
    buffer[0] = 0;
    fields.path = take(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH));
    buffer[0] = 0;
    fields.arguments = take(link->GetArguments(buffer, MAX_PATH));
    buffer[0] = 0;
    fields.workingFolder = take(link->GetWorkingDirectory(buffer, MAX_PATH));
    buffer[0] = 0;
    fields.description = take(link->GetDescription(buffer, MAX_PATH));
    buffer[0] = 0;
    fields.iconFile = take(link->GetIconLocation(buffer, MAX_PATH, &fields.iconIndex));
    link->GetHotkey(&fields.hotKey);
    // Wine's link object writes the show command but does not read it back (GetShowCmd after
    // Load answers SW_SHOWNORMAL), so it is taken from the file's fixed header: the 32-bit
    // ShowCommand field at offset 0x3C.
    std::string bytes = ReadBytes(file);
    if (bytes.size() >= 0x40) {
        fields.showCommand = int(uint8_t(bytes[0x3C]) | uint8_t(bytes[0x3D]) << 8 | uint8_t(bytes[0x3E]) << 16 |
                                 uint32_t(uint8_t(bytes[0x3F])) << 24);
    }
    return fields;
}

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        comReady_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        savedDestination_ = DestinationFolder;
        tool_ = dir_ / L"bin\\tool.exe";
        ::CreateDirectoryW((dir_ / L"bin").c_str(), nullptr);
        WriteBytes(tool_, "MZ");
    }
    void TearDown() override {
        DestinationFolder = savedDestination_;
        if (comReady_) ::CoUninitialize();
    }

    // Every optional field filled, so a test chooses only the bits.
    ShortcutOptions FullOptions(uint8_t bits) const {
        ShortcutOptions o;
        o.target = tool_.c_str();
        o.options = bits;
        o.description = L"Sample Notes";
        o.arguments = L"--open \"a b.txt\"";
        o.iconFile = tool_.c_str();
        o.iconIndex = 2;
        o.workingFolder = (dir_ / L"bin").c_str();
        o.showCommand = SW_SHOWMINNOACTIVE;
        o.hotKey = MAKEWORD('N', HOTKEYF_CONTROL | HOTKEYF_ALT);
        return o;
    }

    ScratchFolder dir_;
    std::wstring tool_;

private:
    bool comReady_ = false;
    WString savedDestination_;
};

}  // namespace

TEST_F(ShellLinkTest, EachOptionBitAppliesExactlyItsField) {
    const uint8_t bitsToTry[] = {0,
                                 kShortcutDescription,
                                 kShortcutArguments,
                                 kShortcutIcon,
                                 kShortcutWorkingFolder,
                                 kShortcutHotKey,
                                 kShortcutShowCommand,
                                 kShortcutArguments | kShortcutWorkingFolder,  // what the install engine passes
                                 63};
    int n = 0;
    for (uint8_t bits : bitsToTry) {
        std::wstring file = dir_ / (L"bits" + std::to_wstring(n++) + L".lnk");
        ShortcutOptions options = FullOptions(bits);
        ASSERT_EQ(S_OK, CreateShortcut(file.c_str(), options)) << int(bits);
        LinkFields got = ReadLink(file);
        ASSERT_TRUE(got.loaded) << int(bits);
        SCOPED_TRACE(int(bits));
        EXPECT_EQ(tool_, got.path);
        auto expectField = [&](uint8_t bit, const std::wstring& value, const std::wstring& actual) {
            EXPECT_EQ((bits & bit) ? value : std::wstring(), actual) << "bit " << int(bit);
        };
        expectField(kShortcutDescription, L"Sample Notes", got.description);
        expectField(kShortcutArguments, L"--open \"a b.txt\"", got.arguments);
        expectField(kShortcutWorkingFolder, dir_ / L"bin", got.workingFolder);
        expectField(kShortcutIcon, tool_, got.iconFile);
        EXPECT_EQ((bits & kShortcutIcon) ? 2 : 0, got.iconIndex);
        EXPECT_EQ((bits & kShortcutShowCommand) ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL, got.showCommand);
        EXPECT_EQ((bits & kShortcutHotKey) ? MAKEWORD('N', HOTKEYF_CONTROL | HOTKEYF_ALT) : 0, got.hotKey);
    }
}

TEST_F(ShellLinkTest, PlaceholdersAreExpandedAndMissingFoldersCreated) {
    DestinationFolder = dir_.Path().c_str();
    ShortcutOptions o;
    o.target = L"<Destination>\\bin\\tool.exe";
    o.options = kShortcutArguments | kShortcutWorkingFolder | kShortcutIcon | kShortcutDescription;
    o.arguments = L"<Destination>\\notes.txt";
    o.workingFolder = L"<Destination>\\bin\\";
    o.iconFile = L"<destination>\\bin\\tool.exe";
    o.description = L"<Destination> stays";  // a caption, not a path

    const std::wstring link = dir_ / L"Start\\Sample Notes\\Notes.lnk";
    ASSERT_FALSE(Exists(dir_ / L"Start"));
    EXPECT_EQ(S_OK, CreateShortcut(L"<Destination>\\Start\\Sample Notes\\Notes.lnk", o));
    ASSERT_TRUE(Exists(link));

    LinkFields got = ReadLink(link);
    ASSERT_TRUE(got.loaded);
    EXPECT_EQ(tool_, got.path);
    EXPECT_EQ(dir_ / L"notes.txt", got.arguments);
    EXPECT_EQ(dir_ / L"bin\\", got.workingFolder);
    EXPECT_EQ(tool_, got.iconFile);
    EXPECT_EQ(L"<Destination> stays", got.description);
}

TEST_F(ShellLinkTest, AShortcutThatCannotBeSavedReportsFailure) {
    // The shortcut's "folder" is a file, so neither the folder nor the shortcut can be made.
    WriteBytes(dir_ / L"plain.txt", "x");
    ShortcutOptions o;
    o.target = tool_.c_str();
    HRESULT result = CreateShortcut((dir_ / L"plain.txt\\x.lnk").c_str(), o);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_FALSE(Exists(dir_ / L"plain.txt\\x.lnk"));
}

TEST_F(ShellLinkTest, ShortcutTargetResolvesOnlyExistingShortcuts) {
    ShortcutOptions o;
    o.target = tool_.c_str();
    ASSERT_EQ(S_OK, CreateShortcut((dir_ / L"tool.lnk").c_str(), o));
    WriteBytes(dir_ / L"garbage.lnk", "this is not a shell link");
    DestinationFolder = dir_.Path().c_str();

    struct Case {
        const wchar_t* what;
        std::wstring path;
        bool result;
        std::wstring target;
    } cases[] = {
        {L"real shortcut", dir_ / L"tool.lnk", true, tool_},
        {L"placeholder in the shortcut path", L"<Destination>\\tool.lnk", true, tool_},
        {L"missing file", dir_ / L"missing.lnk", false, L""},
        {L"file that is no shortcut", dir_ / L"garbage.lnk", true, L""},
    };
    for (const Case& c : cases) {
        WString target(L"left over from before");
        EXPECT_EQ(c.result, ShortcutTarget(c.path.c_str(), target)) << c.what;
        EXPECT_EQ(c.target, target.c_str()) << c.what;
    }
}

TEST_F(ShellLinkTest, TargetThatDoesNotExistYetIsKept) {
    // Optional shortcuts are made before their programs may exist, and "[LocateInstall]" reads
    // shortcuts whose programs may have been removed.
    const std::wstring missing = dir_ / L"later\\notes.exe";
    ShortcutOptions o;
    o.target = missing.c_str();
    ASSERT_TRUE(SUCCEEDED(CreateShortcut((dir_ / L"later.lnk").c_str(), o)));
    WString target;
    EXPECT_TRUE(ShortcutTarget((dir_ / L"later.lnk").c_str(), target));
    EXPECT_EQ(missing, target.c_str());
}
