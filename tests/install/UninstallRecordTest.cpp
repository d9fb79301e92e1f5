#include "install/UninstallRecord.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "base/Process.h"
#include "base/Registry.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"
#include "script/Record.h"
#include "script/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const wchar_t kUninstallParent[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kRememberedKey[] = L"Software\\TarvoInstall";

std::wstring Expanded(const wchar_t* text) {
    WString expanded(text);
    ExpandPlaceholders(expanded);
    return expanded.c_str();
}

std::wstring SelfPath() {
    wchar_t self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

struct RegValue {
    std::wstring name;
    DWORD type;
    std::wstring text;  // REG_SZ
    DWORD number;       // REG_DWORD
    DWORD bytes;

    bool operator==(const RegValue& o) const {
        return name == o.name && type == o.type && text == o.text && number == o.number && bytes == o.bytes;
    }
};

std::ostream& operator<<(std::ostream& out, const RegValue& v) {
    return out << WString(v.name.c_str()).Narrow() << " type " << v.type << " '" << WString(v.text.c_str()).Narrow()
               << "' " << v.number << " (" << v.bytes << " bytes)";
}

RegValue Text(const std::wstring& name, const std::wstring& text) {
    return {name, REG_SZ, text, 0, DWORD((text.size() + 1) * sizeof(wchar_t))};
}
RegValue Number(const std::wstring& name, DWORD number) { return {name, REG_DWORD, L"", number, 4}; }

// Every value of a key in the order the registry keeps them; empty when the key is missing.
std::vector<RegValue> ValuesOf(HKEY root, const std::wstring& subkey) {
    std::vector<RegValue> values;
    RegKey key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 4096;
        BYTE data[4096] = {0};
        if (::RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        RegValue value{name, type, L"", 0, size};
        if (type == REG_SZ) value.text = reinterpret_cast<const wchar_t*>(data);
        if (type == REG_DWORD) value.number = *reinterpret_cast<const DWORD*>(data);
        values.push_back(value);
    }
    return values;
}

// The values the record means to write, in its order.
std::vector<RegValue> Planned() {
    std::vector<RegValue> values;
    for (const UninstallValue& value : UninstallKeyValues()) {
        values.push_back(value.type == REG_DWORD ? Number(value.name.c_str(), value.number)
                                                 : Text(value.name.c_str(), value.text.c_str()));
    }
    return values;
}

// Wine enumerates a key's values sorted by name, Windows in the order they were written: the
// registry is compared as a set, the order is checked on the record's own list.
std::vector<RegValue> ByName(std::vector<RegValue> values) {
    std::sort(values.begin(), values.end(), [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    return values;
}

const RegValue* Find(const std::vector<RegValue>& values, const std::wstring& name) {
    for (const auto& value : values) {
        if (value.name == name) return &value;
    }
    return nullptr;
}

bool KeyExists(HKEY root, const std::wstring& subkey) {
    RegKey key;
    return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const std::wstring& subkey, const std::wstring& name) {
    RegKey key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.Get(), name.c_str());
    }
}

void DeleteKeyIfEmpty(HKEY root, const std::wstring& subkey) {
    DWORD subkeys = 1, values = 1;
    {
        RegKey key;
        if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return;
        ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr);
    }
    if (subkeys == 0 && values == 0) ::RegDeleteKeyW(root, subkey.c_str());
}

// A product with its own name, so that its data file and keys are this test's alone; everything
// the record makes is removed at the end, the shared uninstaller copy included.
class UninstallRecordTest : public ::testing::Test {
protected:
    UninstallRecordTest() {
        static int serial = 0;
        ResetInstallSettings();
        ProjectName = FormatText(L"TarvoTest Record %d-%d", int(::GetCurrentProcessId()), ++serial);
        name_ = ProjectName.c_str();
        key_ = std::wstring(kUninstallParent) + L"\\" + name_;
        DestinationFolder = L"C:\\Apps\\Sample Notes\\";
        ProgramVersion = L"2.5";
        Publisher = L"Sample Software";
        InstallSizeKB = 5 * 1024;  // 5 MiB of files
        UninstallRecordWritten = false;
        savedRedirected_ = RedirectedSystemFolder;
        RedirectedSystemFolder = FALSE;
        savedCaption_ = InstallerCaption;
        userKeyExisted_ = KeyExists(HKEY_CURRENT_USER, kRememberedKey);
        machineKeyExisted_ = KeyExists(HKEY_LOCAL_MACHINE, kRememberedKey);
        RemoveRecord();
    }
    ~UninstallRecordTest() override {
        RemoveRecord();
        if (!userKeyExisted_) DeleteKeyIfEmpty(HKEY_CURRENT_USER, kRememberedKey);
        if (!machineKeyExisted_) DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kRememberedKey);
        CurrentPackage = nullptr;
        package_.reset();
        UninstallRecordWritten = false;
        RedirectedSystemFolder = savedRedirected_;
        ResetInstallSettings();
        InstallerCaption = savedCaption_;
    }

    void LoadScript(const std::string& script) {
        bytes_ = Archive({Entry("setup.dat", script)});
        bool failed = true;
        CurrentPackage = nullptr;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        ASSERT_FALSE(failed);
        CurrentPackage = package_.get();
    }

    void RemoveRecord() {
        ::DeleteFileW(RecordFilePath().c_str());
        ::DeleteFileW(UninstallerPath().c_str());
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallParent, name_.c_str());
        DeleteValue(HKEY_CURRENT_USER, kRememberedKey, name_);
        DeleteValue(HKEY_LOCAL_MACHINE, kRememberedKey, name_);
    }

    std::wstring RecordFile() const { return RecordFilePath().c_str(); }
    std::wstring Uninstaller() const { return UninstallerPath().c_str(); }

    std::wstring name_;
    std::wstring key_;
    MessageRecorder boxes_{IDOK};

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    BOOL savedRedirected_ = FALSE;
    bool userKeyExisted_ = false;
    bool machineKeyExisted_ = false;
    WString savedCaption_;
};

const char kScript[] =
    "; Sample Notes\r\n"
    "[ProjectName]\r\n"
    "Sample Notes\r\n"
    "[Install To]\r\n"
    "<Program Files>\\Sample Notes\r\n"
    "\r\n"
    "[CopyFile]\r\n"
    "notes.exe\r\n"
    "<Destination>\\notes.exe\r\n"
    "[Unknown Section]\r\n"
    "[Install To]\r\n"
    "<Program Files>\\Elsewhere\r\n"
    "[RunFile]\r\n"
    "<Destination>\\notes.exe";  // the last line has no line end

const char kRecord[] =
    "; Sample Notes\r\n"
    "[ProjectName]\r\n"
    "Sample Notes\r\n"
    "[Install To]\r\n"
    "C:\\Apps\\Sample Notes\\\r\n"
    "\r\n"
    "[CopyFile]\r\n"
    "notes.exe\r\n"
    "<Destination>\\notes.exe\r\n"
    "[Unknown Section]\r\n"
    "[Install To]\r\n"
    "C:\\Apps\\Sample Notes\\\r\n"
    "[RunFile]\r\n"
    "<Destination>\\notes.exe\r\n";

std::string WithLineEnds(std::string script, const std::string& lineEnd) {
    std::string out;
    for (size_t at = 0; at < script.size();) {
        size_t end = script.find("\r\n", at);
        if (end == std::string::npos) {
            out += script.substr(at);
            break;
        }
        out += script.substr(at, end - at) + lineEnd;
        at = end + 2;
    }
    return out;
}

TEST_F(UninstallRecordTest, DataFileIsTheScriptWithTheChosenFolder) {
    struct Case {
        const char* what;
        std::string script;
    } cases[] = {
        {"CR LF", kScript},
        {"CR only", WithLineEnds(kScript, "\r")},
        {"LF only", WithLineEnds(kScript, "\n")},
        {"mixed", "; Sample Notes\r[ProjectName]\nSample Notes\r\n[Install To]\r<Program Files>\\Sample Notes\n\r\n"
                  "[CopyFile]\rnotes.exe\n<Destination>\\notes.exe\r\n[Unknown Section]\r[Install To]\n"
                  "<Program Files>\\Elsewhere\r[RunFile]\n<Destination>\\notes.exe\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveRecord();
        UninstallRecordWritten = false;
        LoadScript(c.script);
        WriteUninstallRecord();
        EXPECT_EQ(kRecord, ReadBytes(RecordFile()));
    }
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(UninstallRecordTest, InstallToAtTheEndKeepsItsHeader) {
    LoadScript("[ProjectName]\r\nSample Notes\r\n[Install To]");
    WriteUninstallRecord();
    EXPECT_EQ("[ProjectName]\r\nSample Notes\r\n[Install To]\r\nC:\\Apps\\Sample Notes\\\r\n", ReadBytes(RecordFile()));
}

TEST_F(UninstallRecordTest, KeyHoldsTheProductsValuesInOrder) {
    LoadScript(kScript);
    WriteUninstallRecord();

    const std::wstring uninstaller = Expanded(L"<System>TarvoUninstall.exe");
    const std::wstring record = Expanded(L"<System>TarvoUninstall-") + name_ + L".dat";
    std::vector<RegValue> expected = {
        Text(L"DisplayName", name_),
        Text(L"Publisher", L"Sample Software"),
        Text(L"DisplayVersion", L"2.5"),
        Text(L"InstallLocation", L"C:\\Apps\\Sample Notes\\"),
        Text(L"DisplayIcon", uninstaller),
        Number(L"NoModify", 1),
        Number(L"NoRepair", 1),
        Number(L"EstimatedSize", 5120),
        Text(L"UninstallString", L"\"" + uninstaller + L"\" <uninstall>" + record),
        Text(L"QuietUninstallString", L"\"" + uninstaller + L"\" --norestart <Silent> <uninstall>" + record),
        Text(L"InstallTo", L"C:\\Apps\\Sample Notes\\"),
    };
    EXPECT_EQ(expected, Planned());
    EXPECT_EQ(ByName(expected), ByName(ValuesOf(HKEY_LOCAL_MACHINE, key_)));
    // The uninstaller is a copy of the running executable; the data file sits beside it.
    EXPECT_EQ(ReadBytes(SelfPath()), ReadBytes(uninstaller));
    EXPECT_TRUE(Exists(record));
    EXPECT_TRUE(UninstallRecordWritten);
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(UninstallRecordTest, EmptyPublisherAndVersionAreLeftOut) {
    Publisher.Clear();
    ProgramVersion.Clear();
    InstallSizeKB = (int64_t(1) << 32) + 7;  // only the low 32 bits fit the value
    LoadScript(kScript);
    WriteUninstallRecord();

    std::vector<std::wstring> names;
    for (const auto& value : Planned()) names.push_back(value.name);
    std::vector<std::wstring> expected = {L"DisplayName", L"InstallLocation", L"DisplayIcon", L"NoModify",
                                          L"NoRepair", L"EstimatedSize", L"UninstallString",
                                          L"QuietUninstallString", L"InstallTo"};
    EXPECT_EQ(expected, names);
    std::vector<RegValue> written = ValuesOf(HKEY_LOCAL_MACHINE, key_);
    EXPECT_EQ(ByName(Planned()), ByName(written));
    EXPECT_EQ(nullptr, Find(written, L"Publisher"));
    EXPECT_EQ(nullptr, Find(written, L"DisplayVersion"));
    ASSERT_NE(nullptr, Find(written, L"EstimatedSize"));
    EXPECT_EQ(7u, Find(written, L"EstimatedSize")->number);
}

TEST_F(UninstallRecordTest, DisplayIconNamesTheRealFolderOfARedirectedProcess) {
    struct Case {
        BOOL redirected;
        const wchar_t* folder;
    } cases[] = {{FALSE, L"\\system32\\"}, {TRUE, L"\\syswow64\\"}};
    const std::wstring uninstaller = Expanded(L"<System>TarvoUninstall.exe");
    ASSERT_NE(std::wstring::npos, uninstaller.find(L"\\system32\\"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.redirected ? "redirected" : "not redirected");
        RemoveRecord();
        UninstallRecordWritten = false;
        RedirectedSystemFolder = c.redirected;
        LoadScript(kScript);
        WriteUninstallRecord();

        std::wstring icon = uninstaller;
        icon.replace(icon.find(L"\\system32\\"), 10, c.folder);
        std::vector<RegValue> written = ValuesOf(HKEY_LOCAL_MACHINE, key_);
        ASSERT_NE(nullptr, Find(written, L"DisplayIcon"));
        ASSERT_NE(nullptr, Find(written, L"UninstallString"));
        EXPECT_EQ(icon, Find(written, L"DisplayIcon")->text);
        // The uninstaller is started by the same (redirected) kind of process: its path stays.
        EXPECT_EQ(0u, Find(written, L"UninstallString")->text.find(L"\"" + uninstaller + L"\" <uninstall>"));
    }
}

TEST_F(UninstallRecordTest, NoUnInstallWritesNothing) {
    LoadScript(kScript);
    UninstallEnabled = false;
    WriteUninstallRecord();
    EXPECT_FALSE(Exists(RecordFile()));
    EXPECT_FALSE(Exists(Uninstaller()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key_));
}

TEST_F(UninstallRecordTest, OnlyTheFirstCallWrites) {
    LoadScript(kScript);
    WriteUninstallRecord();
    ASSERT_TRUE(Exists(RecordFile()));
    RemoveRecord();
    DestinationFolder = L"C:\\Other\\";

    WriteUninstallRecord();

    EXPECT_FALSE(Exists(RecordFile()));
    EXPECT_FALSE(Exists(Uninstaller()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key_));
}

TEST_F(UninstallRecordTest, RemembersTheFolderWhenTheScriptAsks) {
    struct Case {
        const char* what;
        bool given;
        bool named;
        bool remembered;
    } cases[] = {
        {"named", true, true, true},
        {"given without a name", true, false, false},
        {"not given", false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveRecord();
        UninstallRecordWritten = false;
        SaveInstallPathGiven = c.given;
        SaveInstallPathName = c.named ? WString(name_.c_str()) : WString();
        LoadScript(kScript);
        WriteUninstallRecord();
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            EXPECT_EQ(c.remembered ? L"C:\\Apps\\Sample Notes\\" : L"",
                      std::wstring(ReadString(root, kRememberedKey, name_.c_str()).c_str()));
        }
    }
}

TEST_F(UninstallRecordTest, WithoutAPackageTheKeyIsStillWritten) {
    CurrentPackage = nullptr;
    // A "setup.dat" in the current folder is not the product's script.
    wchar_t current[MAX_PATH] = {0};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ScratchFolder scratch;
    WriteBytes(scratch / L"setup.dat", "[Install To]\r\nstray\r\n");
    ::SetCurrentDirectoryW(scratch.Path().c_str());
    WriteUninstallRecord();
    ::SetCurrentDirectoryW(current);

    EXPECT_FALSE(Exists(RecordFile()));
    EXPECT_FALSE(ValuesOf(HKEY_LOCAL_MACHINE, key_).empty());
}

}  // namespace
