#pragma once
// Every message box of the program goes through ShowMessageBox. Tests install a hook to see each
// box and choose its answer without a desktop; end-to-end runs answer the real boxes instead.
#include "base/Text.h"

#include <functional>

namespace tarvo {

struct MessageBoxCall {
    HWND owner;
    WString text;
    WString caption;
    UINT type;  // MB_* flags: buttons, icon, MB_TOPMOST...

    UINT Buttons() const { return type & MB_TYPEMASK; }
    UINT Icon() const { return type & MB_ICONMASK; }
};

// Returns the pressed button (IDOK, IDRETRY, IDCANCEL, IDYES, IDNO...).
int ShowMessageBox(HWND owner, const WString& text, const WString& caption, UINT type);

// A hook sees every box instead of the user and returns the answer. An empty hook restores the
// real boxes. Returns the hook that was installed before.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace tarvo
