#include "base/Registry.h"

#include <vector>

namespace tarvo {

namespace {
// Registry key names are at most 255 characters; the buffer leaves ample room.
constexpr DWORD kSubkeyNameCapacity = 1040;

// Opens an existing key without creating it.
RegKey OpenExistingKey(HKEY root, const WString& subkey, REGSAM access) {
    RegKey key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, access, key.Receive()) != ERROR_SUCCESS) key.Release();
    return key;
}

void ListSubkeys(HKEY key, StringList& names) {
    wchar_t name[kSubkeyNameCapacity];
    for (DWORD index = 0;; ++index) {
        DWORD count = kSubkeyNameCapacity;
        if (::RegEnumKeyExW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.Add(WString(name, int(count)));
    }
}

WString JoinKeyPath(const WString& parent, const WString& name) {
    WString path(parent);
    if (!path.Empty() && path.At(kLastPosition) != L'\\') path += L'\\';
    path += name;
    return path;
}
}  // namespace

RegKey OpenKey(HKEY root, const WString& subkey, REGSAM access) {
    RegKey key;
    if (subkey.Empty()) return key;
    if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS) {
        key.Release();  // the call leaves no handle behind on failure
    }
    return key;
}

RegValueSize ValueSize(HKEY root, const WString& subkey, const WString& valueName) {
    RegValueSize result;
    RegKey key = OpenKey(root, subkey, KEY_QUERY_VALUE);
    if (!key) return result;
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        result.bytes = size;
        result.failed = false;
    }
    return result;
}

WString ReadString(HKEY root, const WString& subkey, const WString& valueName) {
    RegKey key = OpenKey(root, subkey, KEY_QUERY_VALUE);
    if (!key) return WString();
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
        return WString();
    }
    // Two zero bytes beyond the data terminate a string stored without its terminator (and one of
    // odd length); the data count asked for stays the reported size.
    std::vector<wchar_t> buffer((size_t(size) + 2 + 1) / 2, L'\0');
    DWORD type = REG_NONE;
    DWORD read = size;
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &read) != ERROR_SUCCESS) {
        return WString();
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return WString();
    return WString(buffer.data());
}

bool WriteValue(HKEY root, const WString& subkey, const WString& valueName, DWORD type, const void* bytes,
                uint32_t count) {
    RegKey key = OpenKey(root, subkey, KEY_WRITE);
    if (!key) return false;
    return ::RegSetValueExW(key.Get(), valueName.c_str(), 0, type, static_cast<const BYTE*>(bytes),
                            count) == ERROR_SUCCESS;
}

bool WriteString(HKEY root, const WString& subkey, const WString& valueName, const WString& text) {
    return WriteValue(root, subkey, valueName, REG_SZ, text.c_str(), uint32_t(text.Length()) * sizeof(wchar_t));
}

bool WriteDword(HKEY root, const WString& subkey, const WString& valueName, uint32_t value) {
    DWORD data = value;
    return WriteValue(root, subkey, valueName, REG_DWORD, &data, sizeof(data));
}

bool EnumSubkeys(HKEY root, const WString& subkey, StringList& names) {
    names.Clear();
    if (subkey.Empty()) {
        ListSubkeys(root, names);
        return true;
    }
    RegKey key = OpenKey(root, subkey, KEY_READ);
    if (!key) return false;
    ListSubkeys(key.Get(), names);
    return true;
}

void DeleteKeyTree(HKEY root, const WString& parent, const WString& name) {
    // The parent is opened to delete the child, so a tree straight below a root is never touched.
    if (name.Empty() || parent.Empty()) return;
    WString path = JoinKeyPath(parent, name);
    StringList children;
    {
        RegKey key = OpenExistingKey(root, path, KEY_READ);
        if (!key) return;  // nothing to delete
        ListSubkeys(key.Get(), children);
    }
    for (int i = 0; i < children.Count(); ++i) DeleteKeyTree(root, path, children.At(i));
    RegKey parentKey = OpenExistingKey(root, parent, KEY_ALL_ACCESS);
    if (parentKey) ::RegDeleteKeyW(parentKey.Get(), name.c_str());
}

}  // namespace tarvo
