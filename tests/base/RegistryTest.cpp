#include "base/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tarvo;

namespace {
// Each test works below its own key HKCU\Software\TarvoTest\<unique>, removed afterwards with the
// system's own tree deletion so that a fault in DeleteKeyTree cannot leave keys behind.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        leaf_ = FormatText(L"%S-%lu-%lu", info->name(), ::GetCurrentProcessId(), ::GetTickCount());
        base_ = WString(L"Software\\TarvoTest\\") + leaf_;
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        // Fails while other tests still have keys there, which is what we want.
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TarvoTest");
    }

    WString Path(const wchar_t* relative) const {
        WString path(base_);
        if (*relative) path += WString(L"\\") + relative;
        return path;
    }
    bool Exists(const WString& path) const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        ::RegCloseKey(key);
        return true;
    }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, base_, name, type, data, size));
    }
    std::vector<std::wstring> Subkeys(const WString& path) {
        StringList names;
        EXPECT_TRUE(EnumSubkeys(HKEY_CURRENT_USER, path, names));
        std::vector<std::wstring> result;
        for (int i = 0; i < names.Count(); ++i) result.push_back(names.At(i).c_str());
        std::sort(result.begin(), result.end());
        return result;
    }

    WString leaf_;
    WString base_;
};
}  // namespace

TEST_F(RegistryTest, OpenKeyCreatesMissingKeysAndRefusesAnEmptyPath) {
    EXPECT_FALSE(OpenKey(HKEY_CURRENT_USER, L"", KEY_READ));
    EXPECT_FALSE(Exists(Path(L"a\\b")));
    RegKey key = OpenKey(HKEY_CURRENT_USER, Path(L"a\\b"), KEY_READ);
    EXPECT_TRUE(key);
    EXPECT_TRUE(Exists(Path(L"a\\b")));
    // Reading goes through the same path: a missing key is left behind, empty.
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, Path(L"c"), L"v").Empty());
    EXPECT_TRUE(Exists(Path(L"c")));
}

TEST_F(RegistryTest, WriteStringStoresTheTerminatorAndReadsBack) {
    struct Case {
        const wchar_t* name;
        const wchar_t* text;
    } cases[] = {{L"plain", L"C:\\Program Files\\App"}, {L"", L"default value"}, {L"empty", L""},
                 {L"unicode", L"\u00e9\u4e2d\u0416"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, base_, c.name, c.text)) << c.name;
        RegValueSize size = ValueSize(HKEY_CURRENT_USER, base_, c.name);
        EXPECT_FALSE(size.failed) << c.name;
        EXPECT_EQ(2 * (std::wstring(c.text).size() + 1), size.bytes) << c.name;
        DWORD type = 0;
        ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, base_.c_str(), c.name, RRF_RT_ANY | RRF_NOEXPAND,
                                                &type, nullptr, nullptr));
        EXPECT_EQ(DWORD(REG_SZ), type) << c.name;
        EXPECT_EQ(std::wstring(c.text), ReadString(HKEY_CURRENT_USER, base_, c.name).c_str()) << c.name;
    }
    // A longer text than the inline buffer of a WString.
    std::wstring longText(3000, L'x');
    ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, base_, L"long", longText.c_str()));
    EXPECT_EQ(longText, ReadString(HKEY_CURRENT_USER, base_, L"long").c_str());
}

TEST_F(RegistryTest, ReadStringAcceptsOnlyStringTypes) {
    const wchar_t expand[] = L"%SystemRoot%\\x";
    const DWORD dword = 0x00410041;  // would read as "AA" if taken for text
    const wchar_t multi[] = L"a\0b\0";
    const BYTE binary[] = {'h', 0, 'i', 0, 0, 0};
    const wchar_t unterminated[] = L"abc";
    SetRaw(L"expand", REG_EXPAND_SZ, expand, sizeof(expand));
    SetRaw(L"dword", REG_DWORD, &dword, sizeof(dword));
    SetRaw(L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    SetRaw(L"binary", REG_BINARY, binary, sizeof(binary));
    // Strings written by other programs may lack the terminator, or have an odd byte count.
    SetRaw(L"unterminated", REG_SZ, unterminated, 3 * sizeof(wchar_t));
    SetRaw(L"odd", REG_SZ, unterminated, 5);
    struct Case {
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"expand", L"%SystemRoot%\\x"},  // not expanded
        {L"dword", L""},
        {L"multi", L""},
        {L"binary", L""},
        {L"unterminated", L"abc"},
        {L"odd", L"abc"},  // the half character is completed by the zero fill
        {L"missing", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.expected), ReadString(HKEY_CURRENT_USER, base_, c.name).c_str()) << c.name;
    }
}

TEST_F(RegistryTest, ValueSizeAndWriteDword) {
    ASSERT_TRUE(WriteDword(HKEY_CURRENT_USER, base_, L"n", 0xdeadbeefu));
    DWORD type = 0, data = 0, size = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegGetValueW(HKEY_CURRENT_USER, base_.c_str(), L"n", RRF_RT_ANY, &type, &data, &size));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(0xdeadbeefu, data);
    RegValueSize n = ValueSize(HKEY_CURRENT_USER, base_, L"n");
    EXPECT_FALSE(n.failed);
    EXPECT_EQ(4u, n.bytes);
    EXPECT_TRUE(ValueSize(HKEY_CURRENT_USER, base_, L"missing").failed);
    EXPECT_TRUE(ValueSize(HKEY_CURRENT_USER, L"", L"n").failed);
}

TEST_F(RegistryTest, WritesFailWithoutAKey) {
    EXPECT_FALSE(WriteString(HKEY_CURRENT_USER, L"", L"v", L"x"));
    EXPECT_FALSE(WriteDword(HKEY_CURRENT_USER, L"", L"v", 1));
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, L"", L"v").Empty());
}

TEST_F(RegistryTest, EnumSubkeysListsDirectChildrenOnly) {
    for (const wchar_t* path : {L"k\\Beta", L"k\\alpha\\deep", L"k\\Gamma"}) {
        ASSERT_TRUE(OpenKey(HKEY_CURRENT_USER, Path(path), KEY_WRITE));
    }
    ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, Path(L"k"), L"value", L"not a key"));
    StringList names;
    names.Add(L"stale");  // the list is replaced, not appended to
    ASSERT_TRUE(EnumSubkeys(HKEY_CURRENT_USER, Path(L"k"), names));
    std::vector<std::wstring> got;
    for (int i = 0; i < names.Count(); ++i) got.push_back(names.At(i).c_str());
    std::sort(got.begin(), got.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Beta", L"Gamma", L"alpha"}), got);

    // An empty path enumerates the root itself.
    StringList top;
    ASSERT_TRUE(EnumSubkeys(HKEY_CURRENT_USER, L"", top));
    EXPECT_TRUE(top.Contains(L"Software", true));
}

TEST_F(RegistryTest, EnumSubkeysOfAMissingKeyCreatesItEmpty) {
    StringList names;
    names.Add(L"stale");
    EXPECT_FALSE(Exists(Path(L"missing")));
    EXPECT_TRUE(EnumSubkeys(HKEY_CURRENT_USER, Path(L"missing"), names));
    EXPECT_EQ(0, names.Count());
    EXPECT_TRUE(Exists(Path(L"missing")));
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesANestedTreeAndNothingElse) {
    for (const wchar_t* path : {L"app\\a\\b\\c", L"app\\a\\d", L"app\\e", L"keep\\x", L"apple"}) {
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, Path(path), L"v", path));
    }
    ASSERT_TRUE(WriteDword(HKEY_CURRENT_USER, Path(L"app"), L"", 7));
    DeleteKeyTree(HKEY_CURRENT_USER, base_, L"app");
    EXPECT_FALSE(Exists(Path(L"app")));
    EXPECT_EQ((std::vector<std::wstring>{L"apple", L"keep"}), Subkeys(base_));
    EXPECT_TRUE(Exists(Path(L"keep\\x")));

    // A parent given with its trailing backslash.
    DeleteKeyTree(HKEY_CURRENT_USER, base_ + L"\\", L"keep");
    EXPECT_FALSE(Exists(Path(L"keep")));
    EXPECT_TRUE(Exists(Path(L"apple")));
}

TEST_F(RegistryTest, DeleteKeyTreeLeavesTheRegistryAloneWhenThereIsNothingToDelete) {
    ASSERT_TRUE(OpenKey(HKEY_CURRENT_USER, Path(L"kept"), KEY_WRITE));
    DeleteKeyTree(HKEY_CURRENT_USER, base_, L"");
    // Never a key straight below a root: any open key serves as a root here.
    RegKey root = OpenKey(HKEY_CURRENT_USER, base_, KEY_ALL_ACCESS);
    ASSERT_TRUE(root);
    DeleteKeyTree(root.Get(), L"", L"kept");
    EXPECT_TRUE(Exists(Path(L"kept")));
    // Deleting a tree whose parent is missing must not create the parent.
    DeleteKeyTree(HKEY_CURRENT_USER, Path(L"no\\such"), L"child");
    EXPECT_FALSE(Exists(Path(L"no")));
}
