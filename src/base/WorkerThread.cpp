#include "base/WorkerThread.h"

#include <process.h>

#include <memory>
#include <new>

namespace tarvo {

namespace {
constexpr DWORD kStopWaitSliceMs = 25;
// Tick-based names are retried with ever larger numbers; this many attempts cannot all collide
// unless event creation itself keeps failing.
constexpr int kMaxNameAttempts = 100000;

struct StartRecord {
    WString eventName;
    WorkerBody body;
    int32_t userValue;
};

WString EventNameFor(uint32_t number) { return FormatText(L"TRDEVTQ-%d", int(number)); }

unsigned __stdcall ThreadStart(void* argument) {
    std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(argument));
    ManualEvent stop;
    stop.Create(record->eventName.c_str());
    // An exception must not unwind into the C run-time's thread start.
    try {
        record->body(stop, record->userValue);
    } catch (...) {
    }
    record.reset();
    stop.Close();
    return 0;
}
}  // namespace

bool WorkerThread::CreateStopEvent() {
    // The name only has to be new in this session: another worker (of this or another process)
    // may hold the same tick's name, so later numbers are tried until the event is new.
    eventName_ = EventNameFor(::GetTickCount());
    bool created = stop_.Create(eventName_.c_str());
    for (uint32_t k = 0; !created || stop_.AlreadyExisted(); ++k) {
        if (k >= uint32_t(kMaxNameAttempts)) {
            stop_.Close();
            eventName_.Clear();
            return false;
        }
        eventName_ = EventNameFor(::GetTickCount() + k + 1);
        created = stop_.Create(eventName_.c_str());
    }
    return true;
}

bool WorkerThread::Start(WorkerBody body, int32_t userValue, uint32_t stopTimeoutMs) {
    Stop();
    suspended_ = false;
    stopTimeoutMs_ = stopTimeoutMs;
    if (!CreateStopEvent()) return false;

    auto* record = new (std::nothrow) StartRecord{eventName_, std::move(body), userValue};
    if (record) {
        uintptr_t handle = ::_beginthreadex(nullptr, 0, ThreadStart, record, 0, nullptr);
        if (handle != 0) {
            thread_.Reset(reinterpret_cast<HANDLE>(handle));
            return true;
        }
        delete record;
    }
    stop_.Close();
    eventName_.Clear();
    return false;
}

void WorkerThread::Stop() {
    if (!thread_) return;
    if (suspended_) {
        ::ResumeThread(thread_.Get());
        suspended_ = false;
    }
    stop_.Set();
    DWORD started = ::GetTickCount();
    while (::WaitForSingleObject(thread_.Get(), kStopWaitSliceMs) == WAIT_TIMEOUT) {
        if (stopTimeoutMs_ != 0 && ::GetTickCount() - started > stopTimeoutMs_) {
            ::SuspendThread(thread_.Get());
            suspended_ = true;
            break;
        }
    }
    thread_.Reset();
    stop_.Close();
}

bool WorkerThread::IsRunning() const {
    return thread_ && ::WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

}  // namespace tarvo
