#pragma once
// Shortcut (.lnk) files through the shell's link object. The caller must have initialised COM
// on the calling thread.
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

// Which optional fields of ShortcutOptions are applied; the target always is.
enum ShortcutOption : uint8_t {
    kShortcutDescription = 1,
    kShortcutArguments = 2,
    kShortcutIcon = 4,
    kShortcutWorkingFolder = 8,
    kShortcutHotKey = 16,
    kShortcutShowCommand = 32,
};

struct ShortcutOptions {
    WString target;
    uint8_t options = 0;      // ShortcutOption bits
    WString description;      // taken as it is: no placeholders
    WString arguments;
    WString iconFile;
    int32_t iconIndex = 0;
    WString workingFolder;
    int32_t showCommand = SW_SHOWNORMAL;
    uint16_t hotKey = 0;      // the shell link's hot key code: virtual key in the low byte
};

// Writes the shortcut file `shortcutPath`, creating its folder first. Placeholders are expanded
// in the shortcut path, the target, the arguments, the working folder and the icon file.
// Returns the last COM result: of creating the link object, of asking it for its file interface,
// or of saving it.
HRESULT CreateShortcut(const WString& shortcutPath, const ShortcutOptions& options);

// Reads the target path of an existing shortcut file (placeholders in `shortcutPath` expanded).
// False when the file does not exist or the link object is not available. A file that exists
// but does not load as a shortcut gives true with an empty target.
bool ShortcutTarget(const WString& shortcutPath, WString& target);

}  // namespace tarvo
