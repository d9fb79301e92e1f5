#pragma once
// Kernel synchronisation objects: the mutex that guards data shared between a worker and the
// window thread, the manual-reset event that asks a worker to stop, and a message pump for a
// thread that waits on a worker.
#include "base/Handle.h"
#include "base/Text.h"

namespace tarvo {

// An unnamed operating-system mutex. Being a kernel mutex, the thread that holds it may take it
// again (each take needs its own Unlock); `Held` only records the last Lock/Unlock of this object.
// A mutex whose holder ended without unlocking is taken over by the next Lock.
class MutexLock {
public:
    MutexLock() { Create(); }
    ~MutexLock() { Close(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    // Creates the mutex, not owned; the constructor already did.
    bool Create();
    // Waits without limit. False only when there is no mutex to wait on.
    bool Lock();
    // Takes the mutex when it is free right now.
    bool TryLock();
    void Unlock();
    void Close();

    bool Held() const noexcept { return held_; }
    HANDLE Handle() const noexcept { return handle_.Get(); }

private:
    bool Acquire(DWORD timeoutMs);

    KernelHandle handle_;
    bool held_ = false;
};

// Holds a MutexLock for the lifetime of a scope.
class MutexGuard {
public:
    explicit MutexGuard(MutexLock& lock) : lock_(lock) { lock_.Lock(); }
    ~MutexGuard() { lock_.Unlock(); }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

private:
    MutexLock& lock_;
};

// A manual-reset event, created not signalled. A named event is shared with every holder of the
// same name in the session; `AlreadyExisted` tells whether this Create opened an existing one.
class ManualEvent {
public:
    ManualEvent() = default;
    ~ManualEvent() = default;
    ManualEvent(const ManualEvent&) = delete;
    ManualEvent& operator=(const ManualEvent&) = delete;

    // Closes any previous handle first. A null or empty name makes an unnamed event.
    bool Create(const wchar_t* name = nullptr);
    bool IsSet() const;
    bool Set();
    void Close();

    bool Valid() const noexcept { return handle_.Valid(); }
    bool AlreadyExisted() const noexcept { return alreadyExisted_; }
    HANDLE Handle() const noexcept { return handle_.Get(); }

private:
    KernelHandle handle_;
    bool alreadyExisted_ = false;
};

// Dispatches every message already waiting for the calling thread, without waiting for more.
// A WM_QUIT sets `quit`; once `quit` is set nothing more is dispatched and the result is false.
// True when the queue is empty and `quit` is clear.
bool PumpMessages(bool& quit);

}  // namespace tarvo
