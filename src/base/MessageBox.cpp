#include "base/MessageBox.h"

#include <mutex>

namespace tarvo {

namespace {
std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

int ShowMessageBox(HWND owner, const WString& text, const WString& caption, UINT type) {
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(HookMutex());
        hook = Hook();
    }
    if (hook) return hook(MessageBoxCall{owner, text, caption, type});
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(HookMutex());
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

}  // namespace tarvo
