#pragma once
// Registry access for settings, install and uninstall records and the request channel. Each call
// names a root key (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER...) and a subkey path; an empty value
// name means the key's default value. Nothing here shows a message: failures are results.
#include "base/Handle.h"
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

// Opens `subkey` with `access`, creating it first when it does not exist, so even a read leaves
// the key behind. An empty subkey gives no key.
RegKey OpenKey(HKEY root, const WString& subkey, REGSAM access);

// A REG_SZ or REG_EXPAND_SZ value (the latter not expanded). Every other type, a missing value
// and any failure give the empty text.
WString ReadString(HKEY root, const WString& subkey, const WString& valueName);

struct RegValueSize {
    uint32_t bytes = 0;
    bool failed = true;
};
// Size in bytes of a value's data; `failed` when the key or value cannot be read.
RegValueSize ValueSize(HKEY root, const WString& subkey, const WString& valueName);

bool WriteValue(HKEY root, const WString& subkey, const WString& valueName, DWORD type, const void* bytes,
                uint32_t count);
// REG_SZ; the stored size includes the terminating zero.
bool WriteString(HKEY root, const WString& subkey, const WString& valueName, const WString& text);
bool WriteDword(HKEY root, const WString& subkey, const WString& valueName, uint32_t value);

// Replaces `names` with the direct subkeys of `subkey`, in the order the system enumerates them
// (an empty path enumerates `root` itself). A missing key is created and yields an empty list.
// False only when the key cannot be opened.
bool EnumSubkeys(HKEY root, const WString& subkey, StringList& names);

// Deletes parent\name with everything below it, deepest keys first. An empty name or an empty
// parent does nothing; failures are not reported. Unlike the other calls it never creates a key:
// deleting a tree that does not exist leaves the registry as it was.
void DeleteKeyTree(HKEY root, const WString& parent, const WString& name);

}  // namespace tarvo
