#include "install/Restart.h"

#include "common/WinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// Every test replaces Windows' shutdown calls with these recorders: nothing here may restart the
// machine it runs on. (Wine's own InitiateShutdownW answers ERROR_CALL_NOT_IMPLEMENTED and its
// InitiateSystemShutdownW only reports success; neither would end anything, but a test run on
// Windows must not depend on that.)
struct ShutdownRequest {
    std::wstring function;
    bool machineGiven;
    std::wstring message;
    DWORD seconds;
    DWORD flags;   // InitiateShutdownW only
    DWORD reason;  // InitiateShutdownW only
    BOOL forceAppsClosed, reboot;  // InitiateSystemShutdownW only
};
std::vector<ShutdownRequest> requests;
HMODULE moduleSeen = nullptr;
DWORD shutdownAnswer = ERROR_SUCCESS;

DWORD WINAPI RecordInitiateShutdown(LPWSTR machine, LPWSTR message, DWORD gracePeriod, DWORD flags, DWORD reason) {
    requests.push_back({L"InitiateShutdownW", machine != nullptr, message ? message : L"(null)", gracePeriod, flags,
                        reason, FALSE, FALSE});
    return shutdownAnswer;
}

BOOL WINAPI RecordInitiateSystemShutdown(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    requests.push_back({L"InitiateSystemShutdownW", machine != nullptr, message ? message : L"(null)", timeout, 0, 0,
                        force, reboot});
    if (shutdownAnswer != ERROR_SUCCESS) ::SetLastError(shutdownAnswer);
    return shutdownAnswer == ERROR_SUCCESS;
}

ShutdownCalls::InitiateShutdownFn FindRecorder(HMODULE advapi32) {
    moduleSeen = advapi32;
    return &RecordInitiateShutdown;
}
ShutdownCalls::InitiateShutdownFn FindNothing(HMODULE advapi32) {
    moduleSeen = advapi32;
    return nullptr;
}

// The quit message RestartSystem posted to this thread, taken off the queue.
bool TakeQuitMessage(WPARAM& exitCode) {
    MSG message;
    if (!::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    exitCode = message.wParam;
    return true;
}

class RestartTest : public ::testing::Test {
protected:
    RestartTest() {
        requests.clear();
        moduleSeen = nullptr;
        shutdownAnswer = ERROR_SUCCESS;
        WPARAM stale = 0;
        while (TakeQuitMessage(stale)) {
        }
    }
    ~RestartTest() override { SetShutdownCalls(saved_); }

    void Use(ShutdownCalls::InitiateShutdownFn (*find)(HMODULE)) {
        ShutdownCalls calls{};
        calls.findInitiateShutdown = find;
        calls.initiateSystemShutdown = &RecordInitiateSystemShutdown;
        SetShutdownCalls(calls);
    }

    ShutdownCalls saved_ = CurrentShutdownCalls();
    MessageRecorder boxes_{IDOK};
};

TEST(ShutdownCalls, DefaultsAreWindowsOwn) {
    // Only compared, never called.
    ShutdownCalls defaults = DefaultShutdownCalls();
    EXPECT_EQ(reinterpret_cast<void*>(&::InitiateSystemShutdownW),
              reinterpret_cast<void*>(defaults.initiateSystemShutdown));
    HMODULE advapi32 = ::GetModuleHandleW(L"advapi32.dll");
    ASSERT_NE(nullptr, advapi32);
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(advapi32, "InitiateShutdownW")),
              reinterpret_cast<void*>(defaults.findInitiateShutdown(advapi32)));
    EXPECT_EQ(nullptr, defaults.findInitiateShutdown(nullptr));
}

TEST_F(RestartTest, AsksForARestartIn40SecondsAndEndsTheMessageLoop) {
    Use(&FindRecorder);
    RestartSystem();

    ASSERT_EQ(1u, requests.size());
    const ShutdownRequest& r = requests[0];
    EXPECT_EQ(L"InitiateShutdownW", r.function);
    EXPECT_FALSE(r.machineGiven);
    EXPECT_EQ(L"System Restarting in 40 seconds", r.message);
    EXPECT_EQ(40u, r.seconds);
    EXPECT_EQ(0x84u, r.flags);
    EXPECT_EQ(0x30002u, r.reason);
    EXPECT_EQ(::GetModuleHandleW(L"advapi32.dll"), moduleSeen);
    WPARAM exitCode = 99;
    ASSERT_TRUE(TakeQuitMessage(exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(boxes_.calls.empty());
}

TEST_F(RestartTest, OlderWindowsGetTheThirtySecondRequest) {
    Use(&FindNothing);
    RestartSystem();

    ASSERT_EQ(1u, requests.size());
    const ShutdownRequest& r = requests[0];
    EXPECT_EQ(L"InitiateSystemShutdownW", r.function);
    EXPECT_FALSE(r.machineGiven);
    EXPECT_EQ(L"System Restarting in 30 seconds", r.message);
    EXPECT_EQ(30u, r.seconds);
    EXPECT_FALSE(r.forceAppsClosed);
    EXPECT_TRUE(r.reboot);
    WPARAM exitCode = 99;
    ASSERT_TRUE(TakeQuitMessage(exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(RestartTest, RefusedRequestShowsNothingButStillQuits) {
    for (auto find : {&FindRecorder, &FindNothing}) {
        requests.clear();
        shutdownAnswer = ERROR_ACCESS_DENIED;
        Use(find);
        RestartSystem();
        EXPECT_EQ(1u, requests.size());
        WPARAM exitCode = 99;
        EXPECT_TRUE(TakeQuitMessage(exitCode));
        EXPECT_EQ(0u, exitCode);
    }
    EXPECT_TRUE(boxes_.calls.empty());
}

}  // namespace
