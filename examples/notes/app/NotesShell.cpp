// notes-shell.dll: the self-registering part of Tarvo Notes. Registration is one value that the
// program shows in its header and that tests can look for:
//   HKLM\Software\Tarvo Notes  "Registered" = DWORD 1
// Unregistering removes it, and the key too when nothing else is left in it.
#include "NotesKeys.h"
#include "base/Handle.h"
#include "base/Win.h"

namespace tarvo::notes {
namespace {

HRESULT Register() {
    HKEY raw = nullptr;
    LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    RegKey key(raw);
    const DWORD one = 1;
    rc = ::RegSetValueExW(key.Get(), kRegisteredValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT Unregister() {
    HKEY raw = nullptr;
    LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &raw);
    if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    RegKey key(raw);
    rc = ::RegDeleteValueW(key.Get(), kRegisteredValue);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(rc);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        key.Reset();
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSettingsKey);
    }
    return S_OK;
}

}  // namespace
}  // namespace tarvo::notes

// Exported undecorated on both architectures (NotesShell.def), as regsvr32 and installers look
// them up by these names.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return tarvo::notes::Register(); }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return tarvo::notes::Unregister(); }
