#include "base/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

using namespace tarvo;

namespace {
// Generous bound for a thread that has been told to finish; reaching it means a hang.
constexpr DWORD kHangMs = 30000;

// What a body saw, written on the worker thread and read after it has ended.
struct Observed {
    std::atomic<bool> started{false};
    std::atomic<bool> sawStop{false};
    std::atomic<bool> finished{false};
    std::atomic<int32_t> userValue{0};
};

// The well-behaved body: polls its stop event between steps.
WorkerBody PollingBody(Observed& seen) {
    return [&seen](ManualEvent& stop, int32_t value) {
        seen.userValue = value;
        seen.started = true;
        while (!stop.IsSet()) ::Sleep(1);
        seen.sawStop = true;
        seen.finished = true;
    };
}

bool IsWorkerEventName(const WString& name) {
    if (name.Left(8) != WString(L"TRDEVTQ-") || name.Count() == 8) return false;
    for (int i = 9; i <= name.Count(); ++i) {
        wchar_t c = name.At(i);
        if (!(c >= L'0' && c <= L'9') && !(i == 9 && c == L'-')) return false;
    }
    return true;
}

// Duplicates the worker's thread handle so the test can follow the thread after Stop forgets it.
KernelHandle FollowThread(const WorkerThread& worker) {
    KernelHandle copy;
    ::DuplicateHandle(::GetCurrentProcess(), worker.ThreadHandle(), ::GetCurrentProcess(), copy.Receive(), 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    return copy;
}
}  // namespace

TEST(WorkerThread, RunsTheBodyWithItsStopEventAndUserValue) {
    Observed seen;
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(PollingBody(seen), -42, kWorkerStopTimeoutMs));
    EXPECT_TRUE(IsWorkerEventName(worker.EventName())) << worker.EventName().c_str();
    EXPECT_TRUE(worker.IsRunning());
    // The body's event is the named one the controller holds.
    ManualEvent probe;
    ASSERT_TRUE(probe.Create(worker.EventName().c_str()));
    EXPECT_TRUE(probe.AlreadyExisted());
    probe.Close();

    worker.Stop();
    EXPECT_TRUE(seen.finished);
    EXPECT_TRUE(seen.sawStop);
    EXPECT_EQ(-42, seen.userValue);
    EXPECT_FALSE(worker.Suspended());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(worker.ThreadHandle());
    // Both the controller's and the thread's handles are gone: the name is free again.
    ASSERT_TRUE(probe.Create(worker.EventName().c_str()));
    EXPECT_FALSE(probe.AlreadyExisted());

    worker.Stop();  // idle: nothing happens
    EXPECT_FALSE(worker.Suspended());
}

TEST(WorkerThread, DestructionStopsTheThread) {
    Observed seen;
    {
        WorkerThread worker;
        ASSERT_TRUE(worker.Start(PollingBody(seen), 1, 0));
        while (!seen.started) ::Sleep(1);
    }
    EXPECT_TRUE(seen.sawStop);
    EXPECT_TRUE(seen.finished);
}

TEST(WorkerThread, StartStopsThePreviousThread) {
    Observed first, second;
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(PollingBody(first), 1, kWorkerStopTimeoutMs));
    ASSERT_TRUE(worker.Start(PollingBody(second), 2, kWorkerStopTimeoutMs));
    EXPECT_TRUE(first.finished);
    EXPECT_TRUE(first.sawStop);
    worker.Stop();
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(2, second.userValue);
}

TEST(WorkerThread, ABodyThatEndsByItselfIsStoppedQuietly) {
    std::atomic<int> runs{0};
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&](ManualEvent&, int32_t) { ++runs; }, 0, kWorkerStopTimeoutMs));
    KernelHandle thread = FollowThread(worker);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), kHangMs));
    EXPECT_FALSE(worker.IsRunning());
    worker.Stop();
    EXPECT_EQ(1, runs);
    EXPECT_FALSE(worker.Suspended());
    DWORD code = 99;
    ::GetExitCodeThread(thread.Get(), &code);
    EXPECT_EQ(0u, code);
}

TEST(WorkerThread, WithoutATimeOutStopWaitsForASlowBody) {
    std::atomic<bool> finished{false};
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(
        [&](ManualEvent& stop, int32_t) {
            while (!stop.IsSet()) ::Sleep(1);
            ::Sleep(300);  // winding down takes several of Stop's wait slices
            finished = true;
        },
        0, 0));
    worker.Stop();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.Suspended());
}

TEST(WorkerThread, ABodyThatOverrunsTheTimeOutIsFrozenNotTerminated) {
    std::atomic<bool> release{false};
    std::atomic<bool> sawStop{false};
    std::atomic<bool> finished{false};
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(
        [&](ManualEvent& stop, int32_t) {
            while (!release) ::Sleep(1);  // ignores the stop request
            sawStop = stop.IsSet();
            finished = true;
        },
        0, 200));
    KernelHandle thread = FollowThread(worker);
    ASSERT_TRUE(thread);
    worker.Stop();
    EXPECT_TRUE(worker.Suspended());
    EXPECT_FALSE(worker.ThreadHandle());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(finished);
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(thread.Get(), 0));  // frozen, not ended

    // Thaw it and let it end, so that the process exits cleanly. ResumeThread reports the earlier
    // suspend count: exactly one from Stop.
    release = true;
    EXPECT_EQ(1u, ::ResumeThread(thread.Get()));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), kHangMs));
    EXPECT_TRUE(finished);
    EXPECT_TRUE(sawStop);  // the thread's own handle kept the event alive

    // A later Start begins afresh.
    Observed seen;
    ASSERT_TRUE(worker.Start(PollingBody(seen), 3, kWorkerStopTimeoutMs));
    EXPECT_FALSE(worker.Suspended());
    worker.Stop();
    EXPECT_TRUE(seen.finished);
}

TEST(WorkerThread, EventNamesNeverCollide) {
    // Workers started back to back, most likely within one tick, get names of their own.
    std::vector<Observed> seen(4);
    std::vector<WorkerThread> workers(4);
    std::set<std::wstring> names;
    for (size_t i = 0; i < workers.size(); ++i) {
        ASSERT_TRUE(workers[i].Start(PollingBody(seen[i]), int32_t(i), kWorkerStopTimeoutMs));
        EXPECT_TRUE(IsWorkerEventName(workers[i].EventName()));
        names.insert(workers[i].EventName().c_str());
    }
    EXPECT_EQ(workers.size(), names.size());
    for (auto& worker : workers) worker.Stop();

    // Every name the current tick and the next few hundred would give is taken already (by
    // another process, say): the worker moves past them to a name that is new.
    std::vector<ManualEvent> taken(600);
    std::set<std::wstring> takenNames;
    DWORD now = ::GetTickCount();
    for (size_t i = 0; i < taken.size(); ++i) {
        WString name = FormatText(L"TRDEVTQ-%d", int(now + DWORD(i)));
        ASSERT_TRUE(taken[i].Create(name.c_str()));
        takenNames.insert(name.c_str());
    }
    Observed blocked;
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(PollingBody(blocked), 0, kWorkerStopTimeoutMs));
    EXPECT_TRUE(IsWorkerEventName(worker.EventName()));
    EXPECT_EQ(0u, takenNames.count(worker.EventName().c_str())) << worker.EventName().c_str();
    // Stopping the worker sets its own event, none of the others'.
    worker.Stop();
    EXPECT_TRUE(blocked.finished);
    for (const auto& event : taken) EXPECT_FALSE(event.IsSet());
}
