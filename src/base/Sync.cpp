#include "base/Sync.h"

namespace tarvo {

bool MutexLock::Create() {
    Close();
    handle_.Reset(::CreateMutexW(nullptr, FALSE, nullptr));
    return handle_.Valid();
}

bool MutexLock::Acquire(DWORD timeoutMs) {
    if (!handle_) return false;
    // WAIT_ABANDONED still hands the mutex over: its last holder ended without releasing it.
    DWORD result = ::WaitForSingleObject(handle_.Get(), timeoutMs);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return false;
    held_ = true;
    return true;
}

bool MutexLock::Lock() { return Acquire(INFINITE); }

bool MutexLock::TryLock() { return Acquire(0); }

void MutexLock::Unlock() {
    if (handle_) ::ReleaseMutex(handle_.Get());
    held_ = false;
}

void MutexLock::Close() {
    handle_.Reset();
    held_ = false;
}

bool ManualEvent::Create(const wchar_t* name) {
    Close();
    if (name && !*name) name = nullptr;
    ::SetLastError(ERROR_SUCCESS);
    handle_.Reset(::CreateEventW(nullptr, TRUE, FALSE, name));
    alreadyExisted_ = handle_.Valid() && ::GetLastError() == ERROR_ALREADY_EXISTS;
    return handle_.Valid();
}

bool ManualEvent::IsSet() const {
    return handle_ && ::WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0;
}

bool ManualEvent::Set() { return handle_ && ::SetEvent(handle_.Get()); }

void ManualEvent::Close() {
    handle_.Reset();
    alreadyExisted_ = false;
}

bool PumpMessages(bool& quit) {
    if (quit) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace tarvo
