#pragma once
// A thread that runs one body and is asked to stop through a named manual-reset event. The body
// polls the event between its steps and returns soon after it is set. A body that overruns the
// stop time-out is frozen (suspended), never terminated: terminating could leave locks and heaps
// it holds in a broken state, while a frozen thread just holds them until the process ends.
#include "base/Sync.h"
#include "base/Text.h"

#include <cstdint>
#include <functional>

namespace tarvo {

// Receives the stop event (its own handle, opened by name in the new thread) and the user value.
using WorkerBody = std::function<void(ManualEvent& stop, int32_t userValue)>;

// The stop time-out of the engines' workers.
constexpr uint32_t kWorkerStopTimeoutMs = 60000;

class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { Stop(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Stops a previous thread, then runs `body` on a new one. `stopTimeoutMs` bounds the wait in
    // Stop; 0 waits without limit. False (and idle) when the thread cannot be started.
    bool Start(WorkerBody body, int32_t userValue, uint32_t stopTimeoutMs);

    // Sets the stop event and waits for the thread to end; past the time-out the thread is left
    // suspended and Suspended() becomes true. Either way the thread handle and the event are
    // released. Does nothing when no thread was started.
    void Stop();

    // True while the thread has not ended (a frozen thread has been forgotten by Stop).
    bool IsRunning() const;
    HANDLE ThreadHandle() const noexcept { return thread_.Get(); }
    // Whether the last Stop had to freeze the thread.
    bool Suspended() const noexcept { return suspended_; }
    // The name of the current thread's stop event ("TRDEVTQ-" and a number, unique in the session).
    const WString& EventName() const noexcept { return eventName_; }

private:
    bool CreateStopEvent();

    ManualEvent stop_;
    KernelHandle thread_;
    uint32_t stopTimeoutMs_ = 0;
    bool suspended_ = false;
    WString eventName_;
};

}  // namespace tarvo
