// Taking over a standard control: messages reach the object first, what it leaves reaches the
// control, and detaching (or the control's end) gives the control its own procedure back.
#include "ui/SubclassCtrl.h"

#include "ui/UiTestSupport.h"
#include "ui/Window.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

class Recorder : public XSubClassCtrl {
public:
    std::vector<UINT> seen;
    XSubClassCtrl* objectArgument = nullptr;
    UINT takeMessage = 0;
    LRESULT takeResult = 0;
    bool lockFreeDuringCallback = true;
    bool checkLock = false;

    LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             int32_t* handled) override {
        seen.push_back(message);
        objectArgument = object;
        if (checkLock && message == WM_GETTEXTLENGTH) lockFreeDuringCallback = TryLockElsewhere(SubclassLock());
        if (message == WM_USER + 1) {
            // Messages to subclassed controls from inside a callback take the lock again.
            *handled = 1;
            return ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1000;
        }
        if (takeMessage && message == takeMessage) {
            *handled = 1;
            return takeResult;
        }
        return XSubClassCtrl::SubclassCallback(object, window, message, wParam, lParam, handled);
    }

    bool Saw(UINT message) const {
        for (UINT m : seen) {
            if (m == message) return true;
        }
        return false;
    }
};

class SubclassTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parent.CreateCustomWindow(WS_POPUP, 0, nullptr, 0, 0, 200, 100));
        first = MakeEdit(L"hello");
        second = MakeEdit(L"four");
        originalProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(first, GWLP_WNDPROC));
    }

    HWND MakeEdit(const wchar_t* text) {
        return ::CreateWindowExW(0, L"EDIT", text, WS_CHILD, 0, 0, 100, 20, parent.WindowHandle(), nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }

    static LRESULT TextLength(HWND control) { return ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0); }

    XWindow parent;
    HWND first = nullptr;
    HWND second = nullptr;
    WNDPROC originalProc = nullptr;
};

TEST_F(SubclassTest, AttachedObjectSeesMessagesFirst) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Attach(first));
    EXPECT_EQ(first, recorder.ControlHandle());
    EXPECT_EQ(originalProc, recorder.PreviousProc());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&recorder), ::GetWindowLongPtrW(first, GWLP_USERDATA));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&SharedSubclassProc), ::GetWindowLongPtrW(first, GWLP_WNDPROC));

    // Left to the control.
    EXPECT_EQ(5, TextLength(first));
    EXPECT_TRUE(recorder.Saw(WM_GETTEXTLENGTH));
    EXPECT_EQ(&recorder, recorder.objectArgument);

    // Taken by the object.
    recorder.takeMessage = WM_GETTEXTLENGTH;
    recorder.takeResult = 99;
    EXPECT_EQ(99, TextLength(first));

    // A callback that sends its own control a message does not block on the lock it holds.
    EXPECT_EQ(1099, ::SendMessageW(first, WM_USER + 1, 0, 0));
}

TEST_F(SubclassTest, TheLockIsHeldWhileACallbackRuns) {
    Recorder recorder;
    recorder.checkLock = true;
    ASSERT_TRUE(recorder.Attach(first));
    TextLength(first);
    EXPECT_FALSE(recorder.lockFreeDuringCallback);
    EXPECT_TRUE(TryLockElsewhere(SubclassLock()));
}

TEST_F(SubclassTest, DetachGivesTheControlItsProcedureBack) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Attach(first));
    recorder.Detach();
    EXPECT_FALSE(recorder.IsAttached());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(originalProc), ::GetWindowLongPtrW(first, GWLP_WNDPROC));
    EXPECT_EQ(0, ::GetWindowLongPtrW(first, GWLP_USERDATA));
    recorder.seen.clear();
    EXPECT_EQ(5, TextLength(first));
    EXPECT_TRUE(recorder.seen.empty());
    recorder.Detach();  // twice is harmless
}

TEST_F(SubclassTest, AttachingElsewhereLetsGoOfTheFirstControl) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Attach(first));
    ASSERT_TRUE(recorder.Attach(second));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(originalProc), ::GetWindowLongPtrW(first, GWLP_WNDPROC));
    EXPECT_EQ(0, ::GetWindowLongPtrW(first, GWLP_USERDATA));
    EXPECT_EQ(4, TextLength(second));
    EXPECT_TRUE(recorder.Saw(WM_GETTEXTLENGTH));

    // A null window only detaches.
    EXPECT_FALSE(recorder.Attach(nullptr));
    EXPECT_FALSE(recorder.IsAttached());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(originalProc), ::GetWindowLongPtrW(second, GWLP_WNDPROC));
}

TEST_F(SubclassTest, DestructionDetaches) {
    {
        Recorder recorder;
        ASSERT_TRUE(recorder.Attach(first));
    }
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(originalProc), ::GetWindowLongPtrW(first, GWLP_WNDPROC));
    EXPECT_EQ(5, TextLength(first));
}

TEST_F(SubclassTest, AControlThatEndsWhileAttachedIsForgotten) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Attach(first));
    ::DestroyWindow(first);
    EXPECT_TRUE(recorder.Saw(WM_NCDESTROY));
    EXPECT_FALSE(recorder.IsAttached());
    recorder.Detach();
}

TEST_F(SubclassTest, TheBaseCallbackLeavesEverythingToTheControl) {
    XSubClassCtrl plain;
    ASSERT_TRUE(plain.Attach(first));
    EXPECT_EQ(5, TextLength(first));
    ::SetWindowTextW(first, L"longer text");
    EXPECT_EQ(11, TextLength(first));
}

TEST_F(SubclassTest, WithoutAnObjectTheSharedProcedureAnswersZero) {
    // A control that runs the shared procedure without an attached object answers 0.
    ::SetWindowLongPtrW(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SharedSubclassProc));
    EXPECT_EQ(0, TextLength(second));
    ::SetWindowLongPtrW(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc));
    EXPECT_EQ(4, TextLength(second));
}

}  // namespace
