#include "container/ContainerWindows.h"

#include "base/Win.h"

#include <gtest/gtest.h>

#include <functional>

namespace tarvo {
namespace {

// Pumps this thread's messages until `done` holds or the bound of passes runs out; returns
// whether it held.
bool PumpUntil(const std::function<bool()>& done) {
    for (int pass = 0; pass < 400; ++pass) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (done()) return true;
        ::Sleep(25);
    }
    return done();
}

BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
    if (::IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int VisibleWindowsOfThisThread() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountVisible, reinterpret_cast<LPARAM>(&count));
    return count;
}

class ContainerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedCount_ = ContainerInstallerCount;
        savedIndex_ = ContainerRunningIndex;
    }
    void TearDown() override {
        ContainerInstallerCount = savedCount_;
        ContainerRunningIndex = savedIndex_;
    }

private:
    int32_t savedCount_ = 0;
    int32_t savedIndex_ = 0;
};

TEST_F(ContainerWindowTest, WaitingWindowStaysHidden) {
    int before = VisibleWindowsOfThisThread();
    ShowWaitingWindow();
    PumpUntil([] { return false; });
    EXPECT_EQ(VisibleWindowsOfThisThread(), before);
}

TEST_F(ContainerWindowTest, ProgressLineCountsFromOneAndFollowsTheWorker) {
    ContainerInstallerCount = 3;
    ContainerRunningIndex = 0;
    ContainerWindowHooks hooks = ContainerWindow();
    ASSERT_TRUE(hooks.create && hooks.destroy);
    HWND window = hooks.create();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    auto* dialog = dynamic_cast<dlgContainerInstall*>(WindowRegistry::Find(window));
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(dialog->ShownLine().c_str(), L"Running Install 1 of 3");

    ContainerRunningIndex = 2;
    EXPECT_TRUE(PumpUntil([&] { return dialog->ShownIndex() == 2; }));
    EXPECT_STREQ(dialog->ShownLine().c_str(), L"Running Install 2 of 3");

    // Cancel only ends the window: the worker's values stay, and the timer still follows them.
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(ContainerInstallerCount, 3);
    EXPECT_EQ(ContainerRunningIndex, 2);
    ContainerRunningIndex = 3;
    EXPECT_TRUE(PumpUntil([&] { return dialog->ShownIndex() == 3; }));
    EXPECT_STREQ(dialog->ShownLine().c_str(), L"Running Install 3 of 3");

    hooks.destroy();
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(ContainerWindowTest, NoLineWithoutInstallers) {
    ContainerInstallerCount = 0;
    ContainerRunningIndex = 0;
    ContainerWindowHooks hooks = ContainerWindow();
    HWND window = hooks.create();
    auto* dialog = dynamic_cast<dlgContainerInstall*>(WindowRegistry::Find(window));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->ShownLine().Empty());
    hooks.destroy();
}

}  // namespace
}  // namespace tarvo
