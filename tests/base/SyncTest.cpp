#include "base/Sync.h"

#include <gtest/gtest.h>

#include <process.h>

#include <functional>

using namespace tarvo;

namespace {
unsigned __stdcall RunFunction(void* p) {
    (*static_cast<std::function<void()>*>(p))();
    return 0;
}

// Runs `fn` on a thread of its own and waits for it to end. (GoogleTest assertions are made on
// the test's thread only.)
void OnOtherThread(std::function<void()> fn) {
    uintptr_t thread = ::_beginthreadex(nullptr, 0, RunFunction, &fn, 0, nullptr);
    ASSERT_NE(0u, thread);
    KernelHandle handle(reinterpret_cast<HANDLE>(thread));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(handle.Get(), 30000));
}

bool TryLockElsewhere(MutexLock& lock) {
    bool taken = false;
    OnOtherThread([&] {
        taken = lock.TryLock();
        if (taken) lock.Unlock();
    });
    return taken;
}
}  // namespace

TEST(MutexLock, ExcludesOtherThreadsUntilUnlocked) {
    MutexLock lock;
    ASSERT_TRUE(lock.Handle());
    EXPECT_FALSE(lock.Held());
    ASSERT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Held());
    EXPECT_FALSE(TryLockElsewhere(lock));
    lock.Unlock();
    EXPECT_FALSE(lock.Held());
    EXPECT_TRUE(TryLockElsewhere(lock));
    EXPECT_TRUE(lock.TryLock());
    EXPECT_TRUE(lock.Held());
    EXPECT_FALSE(TryLockElsewhere(lock));
    lock.Unlock();
    {
        MutexGuard guard(lock);
        EXPECT_FALSE(TryLockElsewhere(lock));
    }
    EXPECT_TRUE(TryLockElsewhere(lock));
}

TEST(MutexLock, TheHoldingThreadMayTakeItAgain) {
    MutexLock lock;
    ASSERT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
    EXPECT_FALSE(TryLockElsewhere(lock));  // still taken once
    lock.Unlock();
    EXPECT_TRUE(TryLockElsewhere(lock));
}

TEST(MutexLock, AnAbandonedMutexIsTakenOver) {
    MutexLock lock;
    bool locked = false;
    OnOtherThread([&] { locked = lock.Lock(); });  // the thread ends holding it
    ASSERT_TRUE(locked);
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
    EXPECT_TRUE(lock.Lock());
    lock.Unlock();
}

TEST(MutexLock, ClosedLockFailsQuietly) {
    MutexLock lock;
    lock.Close();
    EXPECT_FALSE(lock.Lock());
    EXPECT_FALSE(lock.TryLock());
    EXPECT_FALSE(lock.Held());
    lock.Unlock();
    EXPECT_TRUE(lock.Create());
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
}

TEST(ManualEvent, StaysSetOnceSet) {
    ManualEvent event;
    EXPECT_FALSE(event.IsSet());  // no handle yet
    ASSERT_TRUE(event.Create());
    EXPECT_FALSE(event.AlreadyExisted());
    EXPECT_FALSE(event.IsSet());
    ASSERT_TRUE(event.Set());
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.IsSet());  // manual reset: testing does not clear it
    event.Close();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Set());
}

TEST(ManualEvent, NamedEventsAreSharedAndReportAnEarlierCreation) {
    WString name = FormatText(L"TarvoSyncTest-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount());
    WString other = name + L"-other";
    ManualEvent first, second;
    ASSERT_TRUE(first.Create(name.c_str()));
    EXPECT_FALSE(first.AlreadyExisted());
    ASSERT_TRUE(second.Create(name.c_str()));
    EXPECT_TRUE(second.AlreadyExisted());
    first.Set();
    EXPECT_TRUE(second.IsSet());

    // Create closes the previous handle: once nobody holds the name, it is new again.
    ASSERT_TRUE(first.Create(other.c_str()));
    EXPECT_FALSE(first.AlreadyExisted());
    ASSERT_TRUE(second.Create(nullptr));
    EXPECT_FALSE(second.AlreadyExisted());
    ManualEvent third;
    ASSERT_TRUE(third.Create(name.c_str()));
    EXPECT_FALSE(third.AlreadyExisted());
    EXPECT_FALSE(third.IsSet());
    // An empty name is no name: two of them never meet.
    ManualEvent a, b;
    ASSERT_TRUE(a.Create(L""));
    ASSERT_TRUE(b.Create(L""));
    EXPECT_FALSE(b.AlreadyExisted());
    a.Set();
    EXPECT_FALSE(b.IsSet());
}

namespace {
int dispatched = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ++dispatched;
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class PumpMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TarvoPumpTest";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, L"TarvoPumpTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
        ASSERT_TRUE(window_);
        dispatched = 0;
    }
    void TearDown() override {
        ::DestroyWindow(window_);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Post(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(::PostMessageW(window_, WM_APP, 0, 0));
    }
    HWND window_ = nullptr;
};
}  // namespace

TEST_F(PumpMessagesTest, DispatchesEverythingPendingWithoutWaiting) {
    bool quit = false;
    EXPECT_TRUE(PumpMessages(quit));  // empty queue: returns at once
    Post(3);
    EXPECT_TRUE(PumpMessages(quit));
    EXPECT_EQ(3, dispatched);
    EXPECT_FALSE(quit);
}

TEST_F(PumpMessagesTest, StopsAtQuitAndDispatchesNothingAfterwards) {
    bool quit = false;
    Post(1);
    // Posted rather than PostQuitMessage, whose WM_QUIT only comes after every posted message.
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0));
    Post(1);
    EXPECT_FALSE(PumpMessages(quit));
    EXPECT_TRUE(quit);
    EXPECT_EQ(1, dispatched);
    EXPECT_FALSE(PumpMessages(quit));
    EXPECT_EQ(1, dispatched);
}
