// Path texts, long paths, folder trees, deletion, enumeration and temporary names, on real files
// in a scratch folder under the temporary folder.
#include "FileTestSupport.h"

#include "base/Random.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <set>
#include <thread>

using namespace tarvo;
using namespace tarvo::testing;

// --- path texts ------------------------------------------------------------------------------------

TEST(PathTexts, SplitTable) {
    struct Case {
        const wchar_t* path;
        const wchar_t* extension;
        const wchar_t* fileName;
        const wchar_t* withoutExtension;
        const wchar_t* title;
        const wchar_t* folder;
    } cases[] = {
        {L"C:\\dir\\setup.exe", L".exe", L"setup.exe", L"C:\\dir\\setup", L"setup", L"C:\\dir\\"},
        // The last dot lies before the last backslash: no extension, yet the text is still cut there.
        {L"C:\\a.b\\file", L".", L"file", L"C:\\a", L"file", L"C:\\a.b\\"},
        {L"x.tar.gz", L".gz", L"x.tar.gz", L"x.tar", L"x.tar", L"x.tar.gz"},
        {L"name.", L".", L"name.", L"name", L"name", L"name."},
        {L"C:\\dir\\.hidden", L".hidden", L".hidden", L"C:\\dir\\", L"", L"C:\\dir\\"},
        {L"C:\\dir\\", L".", L"", L"C:\\dir\\", L"", L"C:\\dir\\"},
        {L"plain", L".", L"plain", L"plain", L"plain", L"plain"},
        {L"", L".", L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.extension, S(PathExtension(c.path))) << c.path;
        EXPECT_EQ(c.fileName, S(PathFileName(c.path))) << c.path;
        EXPECT_EQ(c.withoutExtension, S(PathWithoutExtension(c.path))) << c.path;
        EXPECT_EQ(c.title, S(PathFileTitle(c.path))) << c.path;
        EXPECT_EQ(c.folder, S(PathFolder(c.path))) << c.path;
    }
}

TEST(PathTexts, TrailingBackslashesAndRoots) {
    EXPECT_EQ(L"C:\\a\\", S(AddTrailingBackslash(L"C:\\a")));
    EXPECT_EQ(L"C:\\a\\", S(AddTrailingBackslash(L"C:\\a\\")));
    EXPECT_EQ(L"\\", S(AddTrailingBackslash(L"")));
    EXPECT_EQ(L"C:\\a", S(RemoveTrailingBackslashes(L"C:\\a\\\\\\")));
    EXPECT_EQ(L"", S(RemoveTrailingBackslashes(L"\\\\")));

    struct Case {
        const wchar_t* path;
        int rootLength;
    } cases[] = {
        {L"C:\\a\\b", 4}, {L"C:\\", 4}, {L"\\\\?\\C:\\a", 8}, {L"\\\\?\\C:\\", 8}, {L"C:", 1}, {L"\\\\srv\\share\\x", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(c.rootLength, PathRootLength(c.path)) << c.path;
}

TEST(PathTexts, LongPathForm) {
    auto path = [](int count) { return L"C:\\" + std::wstring(size_t(count - 3), L'x'); };
    struct Case {
        std::wstring path;
        int limit;
        bool prefixed;
    } cases[] = {
        {path(259), kOpenPathLimit, false},
        {path(260), kOpenPathLimit, true},
        {path(400), kOpenPathLimit, true},
        {path(247), kFolderPathLimit, false},
        {path(248), kFolderPathLimit, true},
        {L"\\\\server\\share\\" + std::wstring(300, L'x'), kFolderPathLimit, false},
        {L"\\\\?\\C:\\" + std::wstring(300, L'x'), kOpenPathLimit, false},
        {L"", kOpenPathLimit, false},
    };
    for (const auto& c : cases) {
        std::wstring expected = c.prefixed ? L"\\\\?\\" + c.path : c.path;
        EXPECT_EQ(expected, S(LongPathForm(c.path.c_str(), c.limit))) << c.path.size() << " / " << c.limit;
    }
    EXPECT_EQ(260, kOpenPathLimit);
    EXPECT_EQ(248, kFolderPathLimit);
}

// --- real files and folders ------------------------------------------------------------------------

class FilesTest : public ScratchFolder {
protected:
    // A path of exactly `count` characters below the scratch folder, made of folder levels of at
    // most 200 characters (a single name is limited to 255).
    std::wstring PathOfLength(size_t count, wchar_t fill) const {
        std::wstring path = Root();
        while (count - path.size() > 200) path += std::wstring(200, fill) + L"\\";
        path += std::wstring(count - path.size(), fill);
        return path;
    }
};

TEST_F(FilesTest, FilesAtTheLongPathBoundariesCanBeMadeReadAndDeleted) {
    for (size_t length : {size_t(259), size_t(260), size_t(330)}) {
        const std::wstring path = PathOfLength(length, L'a');
        ASSERT_EQ(length, path.size());
        ASSERT_TRUE(CreateFolderTree(PathFolder(path.c_str()))) << length;
        {
            DiskFile file;
            ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, CREATE_ALWAYS, false)) << length;
            ASSERT_TRUE(file.WriteText("long", false));
        }
        EXPECT_EQ("long", ReadRaw(path)) << length;
        EXPECT_EQ(4u, FileSize(path.c_str())) << length;
        EXPECT_TRUE(PathExists(path.c_str())) << length;

        FileFinder finder(PathFolder(path.c_str()) + L"*");
        ASSERT_TRUE(finder.Next());
        EXPECT_EQ(path, S(finder.Path()));

        ASSERT_TRUE(ClearReadOnly(path.c_str()));
        ::SetFileAttributesW((L"\\\\?\\" + path).c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_TRUE(tarvo::DeleteFile(path.c_str())) << length;
        EXPECT_FALSE(Exists(path)) << length;
    }
    // The whole long tree goes in one call.
    EXPECT_TRUE(DeleteTree((Root() + std::wstring(200, L'a')).c_str(), L"*.*", true));
    EXPECT_FALSE(Exists(Root() + std::wstring(200, L'a')));
}

TEST_F(FilesTest, FolderTreesAtTheFolderLimit) {
    for (size_t length : {size_t(247), size_t(248), size_t(420)}) {
        const std::wstring path = PathOfLength(length, L'b');
        EXPECT_TRUE(CreateFolderTree(path.c_str())) << length;
        EXPECT_TRUE(IsDir(path)) << length;
        EXPECT_TRUE(PathExists(path.c_str())) << length;
        // Filling and removing a folder at that length.
        ASSERT_TRUE(WriteRaw(path + L"\\f.txt", "x"));
        EXPECT_TRUE(DeleteTree(path.c_str(), L"*.*", true)) << length;
        EXPECT_FALSE(Exists(path)) << length;
    }
}

TEST_F(FilesTest, CreateFolderTreeMakesEveryMissingLevel) {
    EXPECT_TRUE(CreateFolderTree(At(L"a\\b\\c").c_str()));
    EXPECT_TRUE(IsDir(At(L"a\\b\\c")));
    // Existing levels, trailing and doubled backslashes.
    EXPECT_TRUE(CreateFolderTree(At(L"a\\b\\c\\\\").c_str()));
    EXPECT_TRUE(CreateFolderTree(At(L"a\\\\b\\d\\").c_str()));
    EXPECT_TRUE(IsDir(At(L"a\\b\\d")));
    EXPECT_TRUE(CreateFolderTree(Root().c_str()));

    // A file standing where a folder should be is not a folder that exists.
    ASSERT_TRUE(WriteRaw(At(L"file"), "x"));
    EXPECT_FALSE(CreateFolderTree(At(L"file").c_str()));
    EXPECT_FALSE(CreateFolderTree(At(L"file\\below").c_str()));
    EXPECT_FALSE(CreateFolderTree(L""));
}

TEST_F(FilesTest, DeleteFileClearsReadOnlyOnlyWhenAccessIsDenied) {
    const std::wstring path = At(L"readonly.txt");
    ASSERT_TRUE(WriteRaw(path, "x"));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_FALSE(::DeleteFileW(path.c_str())) << "the system itself refuses a read-only file";
    ASSERT_EQ(DWORD(ERROR_ACCESS_DENIED), ::GetLastError());
    EXPECT_TRUE(tarvo::DeleteFile(path.c_str()));
    EXPECT_FALSE(Exists(path));

    // Held open without delete sharing: the failure is not about access, so no second attempt
    // is made and the read-only attribute stays.
    ASSERT_TRUE(WriteRaw(path, "x"));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        DiskFile holder;
        ASSERT_TRUE(holder.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false));
        EXPECT_FALSE(tarvo::DeleteFile(path.c_str()));
        EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_TRUE(tarvo::DeleteFile(path.c_str()));
    EXPECT_FALSE(tarvo::DeleteFile(path.c_str())) << "already gone";
}

TEST_F(FilesTest, ClearReadOnlyKeepsTheOtherAttributes) {
    const std::wstring path = At(L"hidden.txt");
    ASSERT_TRUE(WriteRaw(path, "x"));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ClearReadOnly(path.c_str()));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), Attributes(path) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(ClearReadOnly(path.c_str()));
    EXPECT_FALSE(Attributes(path) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(ClearReadOnly(At(L"missing").c_str()));
}

namespace {

wchar_t UnusedDriveLetter() {
    DWORD drives = ::GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
        if (!(drives & (1u << (letter - L'A')))) return letter;
    }
    return 0;
}

}  // namespace

TEST_F(FilesTest, DeleteTreeRefusesDrivesAndRoots) {
    // On a drive that does not exist, a processed call would find nothing to delete and report
    // success: only a refusal gives false.
    wchar_t letter = UnusedDriveLetter();
    ASSERT_NE(0, letter);
    for (std::wstring text : {std::wstring(1, letter) + L":", std::wstring(1, letter) + L":\\",
                              std::wstring(1, letter) + L":\\\\"}) {
        ASSERT_FALSE(DeleteTree(text.c_str(), L"*.*", true)) << text;
    }
    EXPECT_TRUE(DeleteTree((std::wstring(1, letter) + L":\\x").c_str(), L"*.*", true)) << "a folder below a root is processed";
    EXPECT_FALSE(DeleteTree(L"", L"*.*", true));
    EXPECT_FALSE(DeleteTree(L"C:", L"*.*", true));
}

TEST_F(FilesTest, DeleteTreeRemovesReadOnlyFilesAndNestedFolders) {
    ASSERT_TRUE(MakeDir(At(L"tree")));
    ASSERT_TRUE(MakeDir(At(L"tree\\sub")));
    ASSERT_TRUE(MakeDir(At(L"tree\\sub\\deeper")));
    ASSERT_TRUE(MakeDir(At(L"tree\\empty")));
    for (const wchar_t* file : {L"tree\\a.txt", L"tree\\sub\\b.txt", L"tree\\sub\\deeper\\c.txt"}) {
        ASSERT_TRUE(WriteRaw(At(file), "x"));
        ASSERT_TRUE(::SetFileAttributesW(At(file).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    EXPECT_TRUE(DeleteTree(At(L"tree\\").c_str()));
    EXPECT_FALSE(Exists(At(L"tree")));
}

TEST_F(FilesTest, DeleteTreeWithoutRecursionKeepsSubfoldersAndTheFolder) {
    ASSERT_TRUE(MakeDir(At(L"tree")));
    ASSERT_TRUE(MakeDir(At(L"tree\\sub")));
    ASSERT_TRUE(WriteRaw(At(L"tree\\a.txt"), "x"));
    ASSERT_TRUE(WriteRaw(At(L"tree\\sub\\b.txt"), "x"));
    EXPECT_TRUE(DeleteTree(At(L"tree").c_str(), L"*.*", false));
    EXPECT_FALSE(Exists(At(L"tree\\a.txt")));
    EXPECT_TRUE(Exists(At(L"tree\\sub\\b.txt")));
    EXPECT_TRUE(IsDir(At(L"tree")));
}

TEST_F(FilesTest, DeleteTreeGoesOnAfterAFailureAndKeepsTheFolder) {
    ASSERT_TRUE(MakeDir(At(L"tree")));
    ASSERT_TRUE(MakeDir(At(L"tree\\sub")));
    for (const wchar_t* file : {L"tree\\a.txt", L"tree\\held.txt", L"tree\\z.txt", L"tree\\sub\\b.txt"}) {
        ASSERT_TRUE(WriteRaw(At(file), "x"));
    }
    DiskFile holder;
    ASSERT_TRUE(holder.Open(At(L"tree\\held.txt").c_str(), GENERIC_READ, OPEN_EXISTING, false));
    EXPECT_FALSE(DeleteTree(At(L"tree").c_str()));
    EXPECT_TRUE(Exists(At(L"tree\\held.txt")));
    EXPECT_FALSE(Exists(At(L"tree\\a.txt")));
    EXPECT_FALSE(Exists(At(L"tree\\z.txt")));
    EXPECT_FALSE(Exists(At(L"tree\\sub")));
    holder.Close();
    EXPECT_TRUE(DeleteTree(At(L"tree").c_str()));
    EXPECT_FALSE(Exists(At(L"tree")));
}

TEST_F(FilesTest, DeleteTreeWithAPatternDeletesOnlyMatches) {
    ASSERT_TRUE(MakeDir(At(L"tree")));
    ASSERT_TRUE(WriteRaw(At(L"tree\\a.tmp"), "x"));
    ASSERT_TRUE(WriteRaw(At(L"tree\\b.txt"), "x"));
    // Success although the folder itself cannot go: its removal does not count.
    EXPECT_TRUE(DeleteTree(At(L"tree").c_str(), L"*.tmp", true));
    EXPECT_FALSE(Exists(At(L"tree\\a.tmp")));
    EXPECT_TRUE(Exists(At(L"tree\\b.txt")));
}

TEST_F(FilesTest, DeleteTreeRemovesAJunctionWithoutEnteringIt) {
    ASSERT_TRUE(MakeDir(At(L"outside")));
    ASSERT_TRUE(WriteRaw(At(L"outside\\keep.txt"), "x"));
    ASSERT_TRUE(MakeDir(At(L"tree")));
    ASSERT_TRUE(MakeDir(At(L"tree\\link")));
    // A mount-point reparse buffer naming the outside folder.
    const std::wstring target = L"\\??\\" + At(L"outside");
    std::vector<BYTE> buffer(16 + (target.size() + 2) * sizeof(wchar_t));
    *reinterpret_cast<DWORD*>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    *reinterpret_cast<WORD*>(buffer.data() + 4) = WORD(buffer.size() - 8);  // data length
    WORD* fields = reinterpret_cast<WORD*>(buffer.data() + 8);
    fields[0] = 0;                                          // substitute name offset
    fields[1] = WORD(target.size() * sizeof(wchar_t));      // substitute name length
    fields[2] = WORD(fields[1] + sizeof(wchar_t));          // print name offset
    fields[3] = 0;                                          // print name length
    std::copy(target.begin(), target.end(), reinterpret_cast<wchar_t*>(buffer.data() + 16));
    HANDLE link = ::CreateFileW(At(L"tree\\link").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, link);
    DWORD returned = 0;
    BOOL made = ::DeviceIoControl(link, FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr, 0,
                                  &returned, nullptr);
    ::CloseHandle(link);
    if (!made) GTEST_SKIP() << "junctions are not supported here (error " << ::GetLastError() << ")";

    EXPECT_TRUE(DeleteTree(At(L"tree").c_str()));
    EXPECT_FALSE(Exists(At(L"tree")));
    EXPECT_TRUE(Exists(At(L"outside\\keep.txt")));
}

TEST_F(FilesTest, FileFinderWalksTheEntriesOfAPattern) {
    ASSERT_TRUE(MakeDir(At(L"dir")));
    ASSERT_TRUE(MakeDir(At(L"dir\\sub")));
    ASSERT_TRUE(WriteRaw(At(L"dir\\one.txt"), "12345"));
    ASSERT_TRUE(WriteRaw(At(L"dir\\two.log"), ""));

    auto walk = [](const std::wstring& pattern, bool foldersOnly) {
        std::set<std::wstring> paths;
        FileFinder finder(pattern.c_str(), foldersOnly);
        while (finder.Next()) paths.insert(S(finder.Path()));
        return paths;
    };
    EXPECT_EQ((std::set<std::wstring>{At(L"dir\\sub"), At(L"dir\\one.txt"), At(L"dir\\two.log")}),
              walk(At(L"dir\\*.*"), false));
    EXPECT_EQ((std::set<std::wstring>{At(L"dir\\sub")}), walk(At(L"dir\\*.*"), true));
    EXPECT_EQ((std::set<std::wstring>{At(L"dir\\one.txt")}), walk(At(L"dir\\*.txt"), false));
    EXPECT_TRUE(walk(At(L"dir\\*.none"), false).empty());
    EXPECT_TRUE(walk(At(L"missing\\*.*"), false).empty());

    FileFinder one(At(L"dir\\one.txt").c_str());
    ASSERT_TRUE(one.Next());
    EXPECT_EQ(5u, one.Size());
    EXPECT_FALSE(one.IsFolder());
    EXPECT_EQ(L"one.txt", std::wstring(one.Name()));
    EXPECT_FALSE(one.Next());
    EXPECT_FALSE(one.Next());
}

TEST_F(FilesTest, FileSizeAndPathExists) {
    ASSERT_TRUE(WriteRaw(At(L"five.txt"), "12345"));
    EXPECT_EQ(5u, FileSize(At(L"five.txt").c_str()));
    EXPECT_EQ(0u, FileSize(At(L"missing.txt").c_str()));
    EXPECT_TRUE(PathExists(At(L"five.txt").c_str()));
    EXPECT_TRUE(PathExists(Root().substr(0, Root().size() - 1).c_str()));
    EXPECT_FALSE(PathExists(At(L"missing.txt").c_str()));
    EXPECT_FALSE(PathExists(At(L"missing\\").c_str()));
    EXPECT_TRUE(PathExists(L"C:"));
    EXPECT_TRUE(PathExists(L"C:\\"));
    EXPECT_FALSE(PathExists(L""));
    wchar_t letter = UnusedDriveLetter();
    ASSERT_NE(0, letter);
    EXPECT_FALSE(PathExists((std::wstring(1, letter) + L":").c_str()));
}

// --- temporary names -------------------------------------------------------------------------------

TEST_F(FilesTest, TempFolderFollowsTheSystemAndEndsInABackslash) {
    TempFolderOverride temp(Root().substr(0, Root().size() - 1));
    EXPECT_EQ(Root(), S(TempFolder()));
}

TEST_F(FilesTest, TempFileNamesAreEmptyFilesDeletedByTheirHolder) {
    TempFolderOverride temp(Root());
    std::wstring first, second;
    {
        TempFileName name;
        first = S(name.Make("TVI"));
        EXPECT_EQ(Root(), S(PathFolder(first.c_str())));
        EXPECT_EQ(L"TVI", first.substr(Root().size(), 3));
        EXPECT_EQ(L".tmp", first.substr(first.size() - 4));
        EXPECT_EQ("", ReadRaw(first));

        // A new name deletes the file of the old one.
        second = S(name.Make());
        EXPECT_EQ(L"TMP", second.substr(Root().size(), 3));
        EXPECT_FALSE(Exists(first));
        EXPECT_TRUE(Exists(second));
    }
    EXPECT_FALSE(Exists(second));

    // Only the first three characters of a prefix are used; an empty prefix is no prefix.
    TempFileName longPrefix, noPrefix;
    EXPECT_EQ(L"Ins", S(PathFileName(longPrefix.Make("Insta"))).substr(0, 3));
    EXPECT_EQ(L"Ins", S(PathFileName(longPrefix.Make("Ins"))).substr(0, 3));
    const std::wstring bare = S(PathFileName(noPrefix.Make("")));
    ASSERT_GT(bare.size(), 4u);
    EXPECT_EQ(L".tmp", bare.substr(bare.size() - 4));
    EXPECT_EQ(bare.size() - 4, bare.find_first_not_of(L"0123456789ABCDEFabcdef")) << bare;
}

TEST_F(FilesTest, ASuffixReplacesTheSystemsFile) {
    TempFolderOverride temp(Root());
    std::wstring named;
    {
        TempFileName name;
        named = S(name.Make("", "-"));
        ASSERT_EQ(L'-', named.back());
        EXPECT_TRUE(Exists(named));
        EXPECT_FALSE(Exists(named.substr(0, named.size() - 1)));
        // A program extracted behind the reserved name keeps its own name and is not the holder's.
        ASSERT_TRUE(WriteRaw(named + L"tool.exe", "x"));
    }
    EXPECT_FALSE(Exists(named));
    EXPECT_TRUE(Exists(named + L"tool.exe"));
}

TEST_F(FilesTest, TheFallbackNameIsMadeWhenTheSystemCannotGiveOne) {
    // The system makes no name in a folder that does not exist.
    const std::wstring missing = At(L"not\\yet\\");
    TempFolderOverride temp(missing);
    const uint32_t seed = 20240611;
    ProcessRandom().Seed(seed);
    RandomGenerator expected(seed);
    TempFileName name;
    const std::wstring path = missing + L"Ext" + std::to_wstring(expected.Next(9999)) + L".tmp";
    EXPECT_EQ(path, S(name.Make("Ext")));
    // The file is still made: the folder is created for it.
    EXPECT_EQ("", ReadRaw(path));
    name.Free();
    EXPECT_FALSE(Exists(path));
}

// Two installers starting together (or two threads) draw temporary names from the same clock:
// a name freed by one between removing its file and making its folder must not become the other's
// folder too, or the first to finish would delete the other's package.
TEST_F(FilesTest, TempInstallFoldersMadeAtOnceAreNeverShared) {
    TempFolderOverride temp(Root());
    constexpr int kEach = 300;
    std::vector<std::wstring> made[2];
    int failures[2] = {0, 0};
    auto make = [&](int who) {
        for (int i = 0; i < kEach; ++i) {
            WString folder;
            if (!CreateTempInstallFolder(folder)) ++failures[who];
            made[who].push_back(S(folder));
        }
    };
    std::thread other(make, 1);
    make(0);
    other.join();
    EXPECT_EQ(0, failures[0] + failures[1]);
    std::set<std::wstring> distinct(made[0].begin(), made[0].end());
    distinct.insert(made[1].begin(), made[1].end());
    EXPECT_EQ(size_t(2 * kEach), distinct.size()) << "a folder was handed out twice";
}

TEST_F(FilesTest, CreateTempInstallFolderGivesANewEmptyFolderEachCall) {
    TempFolderOverride temp(Root());
    WString folder;
    ASSERT_TRUE(CreateTempInstallFolder(folder));
    const std::wstring first = S(folder);
    EXPECT_EQ(L'\\', first.back());
    EXPECT_EQ(Root() + L"TVI", first.substr(0, Root().size() + 3));
    EXPECT_TRUE(IsDir(first));
    EXPECT_FALSE(FileFinder((first + L"*.*").c_str()).Next());

    ASSERT_TRUE(WriteRaw(first + L"setup.dat", "x"));
    ASSERT_TRUE(MakeDir(first + L"sub"));
    ASSERT_TRUE(CreateTempInstallFolder(folder));
    const std::wstring second = S(folder);
    EXPECT_NE(first, second);
    EXPECT_FALSE(Exists(first)) << "the old folder and its content are deleted";
    EXPECT_TRUE(IsDir(second));
    EXPECT_FALSE(FileFinder((second + L"*.*").c_str()).Next());
}
