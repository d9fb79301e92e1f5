#include "install/RegistryEntry.h"

#include "base/Files.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Registry.h"
#include "elevation/RequestChannel.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"

namespace tarvo {

namespace {

constexpr int kRegistryValueLines = 5;

HKEY RootKey(const WString& root) {
    struct Root {
        const wchar_t* name;
        HKEY key;
    };
    static const Root kRoots[] = {
        {L"HKCR", HKEY_CLASSES_ROOT}, {L"HKCU", HKEY_CURRENT_USER}, {L"HKLM", HKEY_LOCAL_MACHINE},
        {L"HKCC", HKEY_CURRENT_CONFIG}, {L"HKU", HKEY_USERS},
    };
    for (const Root& candidate : kRoots) {
        if (root == candidate.name) return candidate.key;
    }
    return nullptr;
}

// The bytes of a package entry as a REG_BINARY value.
void WriteBinaryEntry(HKEY root, const WString& key, const WString& valueName, const WString& entry, HWND owner) {
    TempFileName data;
    data.Make("Ins");
    if (!CurrentPackage || !CurrentPackage->Archive().ExtractEntry(entry, data)) {
        ShowMessageBox(owner, FormatText(L"Unable to extract '%s'", entry.c_str()), InstallerCaption,
                       MB_OK | MB_ICONERROR);
        return;
    }
    DiskFile file;
    if (!file.Open(data, GENERIC_READ, OPEN_EXISTING, false)) return;
    const uint64_t size = file.Size();
    ByteBuffer bytes;
    if (size > MAXDWORD) return;
    if (size != 0 && (!bytes.Resize(size_t(size)) || file.Read(DWORD(size), bytes.Data()) != DWORD(size))) return;
    if (root) WriteValue(root, key, valueName, REG_BINARY, bytes.Data(), uint32_t(size));
}

void PostUserValue(const wchar_t* header, const WString& valueName, const WString& key, const WString& data) {
    StringList request;
    request.Add(header);
    request.Add(valueName);
    request.Add(key);
    request.Add(data);
    PostRequest(request);
}

}  // namespace

void WriteRegistryEntry(SetupScript& script, HWND owner) {
    StringList values;
    script.ReadValues(kRegistryValueLines, values);
    const HKEY root = RootKey(values.At(0));
    WString key = values.At(1);
    const WString& type = values.At(2);
    const WString& valueName = values.At(3);
    WString data = values.At(4);
    ExpandPlaceholders(key);

    const bool user = root == HKEY_CURRENT_USER;
    if (type == L"BINARY") {
        // Written here for every root: the channel carries text only.
        WriteBinaryEntry(root, key, valueName, data, owner);
    } else if (type == L"DWORD") {
        if (user) {
            PostUserValue(kSetDwordRequest, valueName, key, data);
        } else if (root) {
            WriteDword(root, key, valueName, uint32_t(ParseInteger(data)));
        }
    } else {
        ExpandPlaceholders(data);
        if (user) {
            PostUserValue(kSetStringRequest, valueName, key, data);
        } else if (root) {
            WriteString(root, key, valueName, data);
        }
    }
}

void RegisterAppPath(const WString& destination) {
    WString path = destination;
    ExpandPlaceholders(path);
    if (!EqualsIgnoreCase(PathExtension(path), L".EXE")) return;
    WString key = FormatText(L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", PathFileName(path).c_str());
    WriteString(HKEY_LOCAL_MACHINE, key, WString(), path);
    WriteString(HKEY_LOCAL_MACHINE, key, L"Path", PathFolder(path));
}

}  // namespace tarvo
