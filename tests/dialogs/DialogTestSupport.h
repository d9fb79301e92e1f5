#pragma once
// Running a modal dialog in a test while the UI driver (tarvo-uidriver.exe, copied beside the
// test) types and clicks into it from a separate process, as a user would. The dialog runs on the
// test's thread; the driver's exit code and output come back when the dialog has ended. A
// watchdog ends a dialog that the driver left open, so that a failing run ends instead of
// hanging. Also: a package made of chosen entries, installed as the process's package.
#include "base/Handle.h"
#include "base/Process.h"
#include "base/Text.h"
#include "base/Win.h"
#include "common/TestProcess.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::testing {

// The end code that the watchdog gives a dialog that the driver did not close.
constexpr INT_PTR kAbandonedDialog = 999;

// The UI driver running with the given steps.
class DriverProcess : public TestProcess {
public:
    explicit DriverProcess(const std::vector<std::wstring>& steps)
        : TestProcess(BesideTest(L"tarvo-uidriver.exe"), JoinSteps(steps)) {}

private:
    static std::wstring JoinSteps(const std::vector<std::wstring>& steps) {
        std::wstring joined;
        for (const std::wstring& step : steps) joined += (joined.empty() ? L"" : L" ") + QuoteArgument(step);
        return joined;
    }
};

// What a dialog received while it ran: its window and the command ids and close requests that
// reached it, in order ("command 1", "command 2", "close").
struct DialogTrace {
    HWND dialog = nullptr;
    std::vector<std::string> events;
    bool Saw(const std::string& event) const {
        for (const std::string& e : events) {
            if (e == event) return true;
        }
        return false;
    }
};

namespace detail {

struct RunState {
    DialogTrace trace;
    DriverProcess* driver = nullptr;
    std::function<void(HWND)> script;
    bool scriptRan = false;
    DWORD started = 0;
    DWORD driverEnded = 0;
    DWORD capMs = 90000;
};

inline RunState*& CurrentRun() {
    static RunState* run = nullptr;
    return run;
}

inline void Record(HWND window, UINT message, WPARAM wParam) {
    RunState* run = CurrentRun();
    if (!run) return;
    if (message == WM_INITDIALOG && !run->trace.dialog) run->trace.dialog = window;
    if (window != run->trace.dialog || !window) return;
    if (message == WM_COMMAND) run->trace.events.push_back("command " + std::to_string(LOWORD(wParam)));
    if (message == WM_CLOSE) run->trace.events.push_back("close");
}

inline LRESULT CALLBACK SentHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        auto* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
        Record(sent->hwnd, sent->message, sent->wParam);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

inline LRESULT CALLBACK PostedHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        auto* posted = reinterpret_cast<MSG*>(lParam);
        Record(posted->hwnd, posted->message, posted->wParam);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

inline void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
    RunState* run = CurrentRun();
    if (!run) return;
    HWND dialog = run->trace.dialog;
    if (dialog && run->script && !run->scriptRan && ::IsWindowVisible(dialog)) {
        run->scriptRan = true;
        run->script(dialog);
    }
    DWORD now = ::GetTickCount();
    if (run->driver && !run->driver->Running() && !run->driverEnded) run->driverEnded = now;
    bool driverGaveUp = run->driverEnded && now - run->driverEnded > 5000;
    if (dialog && ::IsWindow(dialog) && (driverGaveUp || now - run->started > run->capMs)) {
        ::EndDialog(dialog, kAbandonedDialog);
    }
}

}  // namespace detail

// Runs `showDialog` (which returns the dialog's end code once it has ended) on this thread, while
// the driver runs `steps` in its own process, or, without steps, while `script` runs once on this
// thread as soon as the dialog is visible.
struct DialogRun {
    INT_PTR endCode = 0;
    DWORD driverExit = 0;
    std::string driverOutput;
    DialogTrace trace;
};

inline DialogRun RunDialog(const std::function<INT_PTR()>& showDialog, const std::vector<std::wstring>& steps,
                           const std::function<void(HWND)>& script = nullptr) {
    DialogRun result;
    detail::RunState state;
    state.script = script;
    state.started = ::GetTickCount();
    std::unique_ptr<DriverProcess> driver;
    if (!steps.empty()) {
        driver = std::make_unique<DriverProcess>(steps);
        EXPECT_TRUE(driver->Started()) << "tarvo-uidriver.exe did not start";
        if (!driver->Started()) return result;
        state.driver = driver.get();
    }
    detail::CurrentRun() = &state;
    HHOOK sent = ::SetWindowsHookExW(WH_CALLWNDPROC, detail::SentHook, nullptr, ::GetCurrentThreadId());
    HHOOK posted = ::SetWindowsHookExW(WH_GETMESSAGE, detail::PostedHook, nullptr, ::GetCurrentThreadId());
    UINT_PTR timer = ::SetTimer(nullptr, 0, 200, detail::Watchdog);
    result.endCode = showDialog();
    ::KillTimer(nullptr, timer);
    ::UnhookWindowsHookEx(posted);
    ::UnhookWindowsHookEx(sent);
    detail::CurrentRun() = nullptr;
    result.trace = state.trace;
    if (driver) {
        result.driverExit = driver->Finish();
        result.driverOutput = driver->Output();
    }
    return result;
}

// A package holding "setup.dat" and, unless `terms` is null, "setup.lic" with those bytes,
// installed as the process's package for the life of the object.
class TestPackage {
public:
    explicit TestPackage(const char* terms) {
        std::vector<FixtureEntry> entries = {Entry("setup.dat", "[Setup]\r\n")};
        if (terms) entries.push_back(Entry("setup.lic", terms));
        bytes_ = Archive(entries);
        bool failed = false;
        package_ = std::make_unique<SetupPackage>(failed, bytes_.data(), bytes_.size());
        EXPECT_FALSE(failed);
        previous_ = CurrentPackage;
        CurrentPackage = package_.get();
    }
    ~TestPackage() {
        CurrentPackage = previous_;
        package_.reset();
    }
    TestPackage(const TestPackage&) = delete;
    TestPackage& operator=(const TestPackage&) = delete;

    SetupPackage& Package() { return *package_; }

private:
    Bytes bytes_;
    std::unique_ptr<SetupPackage> package_;
    SetupPackage* previous_ = nullptr;
};

// Sets InstallerCaption for a scope: the driver finds the dialog by it.
class CaptionScope {
public:
    explicit CaptionScope(const wchar_t* caption) : saved_(InstallerCaption) { InstallerCaption = caption; }
    ~CaptionScope() { InstallerCaption = saved_; }
    CaptionScope(const CaptionScope&) = delete;
    CaptionScope& operator=(const CaptionScope&) = delete;

private:
    WString saved_;
};

}  // namespace tarvo::testing
