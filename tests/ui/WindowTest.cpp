// The window framework with small real windows: which operation each message reaches, what the
// window and dialog procedures return, timers, creation and destruction, layout and DPI.
#include "ui/Window.h"

#include "WindowTestIds.h"
#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

template <typename T>
std::string Arg(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else {
        return std::to_string(value);
    }
}

template <typename... Args>
std::string Call(const char* name, const Args&... args) {
    std::string text = name;
    text += '(';
    bool first = true;
    ((text += first ? "" : ",", text += Arg(args), first = false), ...);
    text += ')';
    return text;
}

// Records every operation it reaches. By default each operation then behaves as the base class
// does; with `keepHandled` every operation leaves HandledFlag set, as a handler that handles
// the message would.
class Probe : public XWindow {
public:
    std::vector<std::string> calls;
    std::vector<UINT> seen;  // what PreFilterMessage was shown, in order
    bool keepHandled = false;
    LRESULT notifyResult = 77;
    HBRUSH brush = nullptr;
    // Messages PreFilterMessage takes, with its result.
    UINT filterMessage = 0;
    LRESULT filterResult = 0;
    std::function<void(Probe&)> onInit;
    std::function<void(Probe&, int32_t)> onTimer;
    std::function<void(Probe&)> onErase;
    std::function<void(Probe&)> onCancel;

    std::string Window(HWND window) const {
        if (!window) return "0";
        return window == WindowHandle() ? "self" : "other";
    }

    void OnActivate(HWND other, int minimized, int state) override {
        calls.push_back(Call("OnActivate", Window(other), minimized, state));
        if (!keepHandled) XWindow::OnActivate(other, minimized, state);
    }
    void OnClose() override {
        calls.push_back(Call("OnClose"));
        if (!keepHandled) XWindow::OnClose();
    }
    void OnContextMenu(HWND window, int x, int y) override {
        calls.push_back(Call("OnContextMenu", Window(window), x, y));
        if (!keepHandled) XWindow::OnContextMenu(window, x, y);
    }
    void OnCommand(int id, HWND control, int notification) override {
        calls.push_back(Call("OnCommand", id, Window(control), notification));
        XWindow::OnCommand(id, control, notification);
    }
    void OnInitWindow() override {
        calls.push_back(Call("OnInitWindow"));
        if (onInit) onInit(*this);
        if (!keepHandled) XWindow::OnInitWindow();
    }
    void OnDestroy() override {
        calls.push_back(Call("OnDestroy"));
        if (!keepHandled) XWindow::OnDestroy();
    }
    void OnDeactivate(HWND other, int minimized) override {
        calls.push_back(Call("OnDeactivate", Window(other), minimized));
        if (!keepHandled) XWindow::OnDeactivate(other, minimized);
    }
    void OnDrawItem(HWND item, int id, DRAWITEMSTRUCT* draw) override {
        calls.push_back(Call("OnDrawItem", Window(item), id, std::string(draw ? "item" : "null")));
        if (!keepHandled) XWindow::OnDrawItem(item, id, draw);
    }
    void OnEraseBackground(HDC dc) override {
        calls.push_back(Call("OnEraseBackground"));
        if (onErase) onErase(*this);
        if (!keepHandled) XWindow::OnEraseBackground(dc);
    }
    void OnHide(int status) override {
        calls.push_back(Call("OnHide", status));
        if (!keepHandled) XWindow::OnHide(status);
    }
    void OnKeyDown(int key, LPARAM data) override {
        calls.push_back(Call("OnKeyDown", key, data));
        if (key == VK_F12) throw std::runtime_error("handler failure");
        if (!keepHandled) XWindow::OnKeyDown(key, data);
    }
    void OnKeyUp(int key, LPARAM data) override {
        calls.push_back(Call("OnKeyUp", key, data));
        if (!keepHandled) XWindow::OnKeyUp(key, data);
    }
    void OnChar(int code) override {
        calls.push_back(Call("OnChar", code));
        if (!keepHandled) XWindow::OnChar(code);
    }
    void OnMouseDown(int x, int y, UINT message, WPARAM keys) override {
        calls.push_back(Call("OnMouseDown", x, y, message, keys));
        if (!keepHandled) XWindow::OnMouseDown(x, y, message, keys);
    }
    void OnMouseUp(int x, int y, UINT message, WPARAM keys) override {
        calls.push_back(Call("OnMouseUp", x, y, message, keys));
        if (!keepHandled) XWindow::OnMouseUp(x, y, message, keys);
    }
    void OnMouseMove(int x, int y, WPARAM keys) override {
        calls.push_back(Call("OnMouseMove", x, y, keys));
        if (!keepHandled) XWindow::OnMouseMove(x, y, keys);
    }
    void OnMouseWheel(int x, int y, int delta, int keys) override {
        calls.push_back(Call("OnMouseWheel", x, y, delta, keys));
        if (!keepHandled) XWindow::OnMouseWheel(x, y, delta, keys);
    }
    void OnMove(int x, int y) override {
        calls.push_back(Call("OnMove", x, y));
        if (!keepHandled) XWindow::OnMove(x, y);
    }
    LRESULT OnNotify(NMHDR* header) override {
        calls.push_back(Call("OnNotify", header ? int(header->code) : -1));
        if (!keepHandled) return XWindow::OnNotify(header);
        return notifyResult;
    }
    void OnPaint() override {
        calls.push_back(Call("OnPaint"));
        if (!keepHandled) XWindow::OnPaint();
    }
    void OnShow(int status) override {
        calls.push_back(Call("OnShow", status));
        if (!keepHandled) XWindow::OnShow(status);
    }
    void OnSize(int width, int height, int type) override {
        calls.push_back(Call("OnSize", width, height, type));
        if (!keepHandled) XWindow::OnSize(width, height, type);
    }
    void OnSysCommand(int command) override {
        calls.push_back(Call("OnSysCommand", command));
        XWindow::OnSysCommand(command);
    }
    void OnTimer(int32_t id, int32_t value) override {
        calls.push_back(Call("OnTimer", id, value));
        if (onTimer) onTimer(*this, id);
        if (!keepHandled) XWindow::OnTimer(id, value);
    }
    HBRUSH OnCtlColorStatic() override {
        calls.push_back(Call("OnCtlColorStatic"));
        if (!keepHandled) return XWindow::OnCtlColorStatic();
        return brush;
    }
    HBRUSH OnCtlColorDialog() override {
        calls.push_back(Call("OnCtlColorDialog"));
        if (!keepHandled) return XWindow::OnCtlColorDialog();
        return brush;
    }
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override {
        seen.push_back(message);
        if (filterMessage && message == filterMessage) {
            *handled = 1;
            return filterResult;
        }
        return XWindow::PreFilterMessage(window, message, wParam, lParam, handled);
    }
    void OnOK() override { calls.push_back(Call("OnOK")); }
    void OnCancel() override {
        calls.push_back(Call("OnCancel"));
        if (onCancel) onCancel(*this);
    }
    void OnAbort() override { calls.push_back(Call("OnAbort")); }
    void OnCloseCommand() override { calls.push_back(Call("OnCloseCommand")); }
    void OnHelp() override { calls.push_back(Call("OnHelp")); }
    void OnIgnore() override { calls.push_back(Call("OnIgnore")); }
    void OnNo() override { calls.push_back(Call("OnNo")); }
    void OnRetry() override { calls.push_back(Call("OnRetry")); }
    void OnYes() override { calls.push_back(Call("OnYes")); }

    bool Called(const std::string& call) const {
        for (const std::string& c : calls) {
            if (c == call) return true;
        }
        return false;
    }
};

// A hidden plain popup window at (100, 50) - (300, 250).
void CreatePlain(Probe& probe) { ASSERT_TRUE(probe.CreateCustomWindow(WS_POPUP, 0, nullptr, 100, 50, 300, 250)); }

void CreateProbeDialog(Probe& probe) { ASSERT_EQ(1, probe.CreateFromTemplate(IDD_PROBE, nullptr, false)); }

// Placeholders in the cases for arguments that only exist at run time.
constexpr uintptr_t kSelfArg = 0x5E1F;
constexpr uintptr_t kDcArg = 0xDC;
constexpr uintptr_t kDrawItemArg = 0xD1;
constexpr uintptr_t kNotifyArg = 0x40;
constexpr LRESULT kBrushResult = 0xB7;

struct SlotCase {
    const char* name;
    UINT message;
    uintptr_t wParam;
    uintptr_t lParam;
    const char* call;  // the operation reached first, or null for none
    int32_t flagByDefault;    // HandledFlag after the base class's operation
    int32_t flagWhenHandled;  // after an operation that leaves the flag set
    LRESULT resultWhenHandled;
};

const SlotCase kSlotCases[] = {
    {"activate", WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 1), kSelfArg, "OnActivate(self,1,2)", 0, 1, 0},
    {"deactivate", WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), kSelfArg, "OnDeactivate(self,1)", 0, 1, 0},
    {"context menu", WM_CONTEXTMENU, kSelfArg, uint32_t(MAKELPARAM(0xFFFF, 3)), "OnContextMenu(self,65535,3)", 0, 1, 0},
    {"command", WM_COMMAND, MAKEWPARAM(1000, 5), kSelfArg, "OnCommand(1000,self,5)", 1, 1, 0},
    {"draw item", WM_DRAWITEM, 77, kDrawItemArg, "OnDrawItem(self,77,item)", 0, 1, 0},
    {"erase background", WM_ERASEBKGND, kDcArg, 0, "OnEraseBackground()", 0, 1, 1},
    {"hide", WM_SHOWWINDOW, 0, 1, "OnHide(1)", 0, 1, 0},
    {"show", WM_SHOWWINDOW, 1, 3, "OnShow(3)", 0, 1, 0},
    {"key down", WM_KEYDOWN, VK_F5, 0x3F0001, "OnKeyDown(116,4128769)", 0, 1, 0},
    {"key up", WM_KEYUP, VK_F5, 0x3F0001, "OnKeyUp(116,4128769)", 0, 1, 0},
    {"char", WM_CHAR, 'x', 1, "OnChar(120)", 0, 1, 0},
    {"left down", WM_LBUTTONDOWN, MK_LBUTTON, uint32_t(MAKELPARAM(-3, 7)), "OnMouseDown(-3,7,513,1)", 0, 1, 0},
    {"right down", WM_RBUTTONDOWN, MK_RBUTTON, uint32_t(MAKELPARAM(4, 5)), "OnMouseDown(4,5,516,2)", 0, 1, 0},
    {"middle down", WM_MBUTTONDOWN, MK_MBUTTON, uint32_t(MAKELPARAM(4, 5)), "OnMouseDown(4,5,519,16)", 0, 1, 0},
    {"left up", WM_LBUTTONUP, 0, uint32_t(MAKELPARAM(10, -2)), "OnMouseUp(10,-2,514,0)", 0, 1, 0},
    {"right up", WM_RBUTTONUP, 0, uint32_t(MAKELPARAM(10, 2)), "OnMouseUp(10,2,517,0)", 0, 1, 0},
    {"middle up", WM_MBUTTONUP, 0, uint32_t(MAKELPARAM(10, 2)), "OnMouseUp(10,2,520,0)", 0, 1, 0},
    {"mouse move", WM_MOUSEMOVE, MK_SHIFT, uint32_t(MAKELPARAM(-1, -1)), "OnMouseMove(-1,-1,4)", 0, 1, 0},
    {"mouse wheel", WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, -240), uint32_t(MAKELPARAM(-20, 30)),
     "OnMouseWheel(-20,30,-240,8)", 0, 1, 0},
    {"move", WM_MOVE, 0, uint32_t(MAKELPARAM(-10, 20)), "OnMove(-10,20)", 0, 1, 0},
    {"notify", WM_NOTIFY, 5, kNotifyArg, "OnNotify(1005)", 0, 1, 77},
    {"paint", WM_PAINT, 0, 0, "OnPaint()", 0, 0, 0},
    {"size", WM_SIZE, SIZE_MAXIMIZED, uint32_t(MAKELPARAM(300, 200)), "OnSize(300,200,2)", 0, 1, 0},
    {"system command", WM_SYSCOMMAND, 0xF1F7, 0, "OnSysCommand(61936)", 0, 0, 0},
    {"unknown timer", WM_TIMER, 99, 0, nullptr, 1, 1, 0},
    {"static colour", WM_CTLCOLORSTATIC, kDcArg, kSelfArg, "OnCtlColorStatic()", 0, 1, kBrushResult},
    {"dialog colour", WM_CTLCOLORDLG, kDcArg, kSelfArg, "OnCtlColorDialog()", 0, 1, kBrushResult},
    {"double click", WM_LBUTTONDBLCLK, MK_LBUTTON, 0, nullptr, 0, 0, 0},
    {"not in the table", WM_USER + 7, 0, 0, nullptr, 0, 0, 0},
};

// The case's arguments with the placeholders filled in.
struct Arguments {
    Arguments(const SlotCase& c, Probe& probe, const BitmapCanvas& canvas) {
        draw.CtlType = ODT_STATIC;
        draw.hwndItem = probe.WindowHandle();
        notify.hwndFrom = probe.WindowHandle();
        notify.code = 1005;
        wParam = Fill(c.wParam, probe, canvas);
        lParam = LPARAM(Fill(c.lParam, probe, canvas));
    }
    WPARAM Fill(uintptr_t value, Probe& probe, const BitmapCanvas& canvas) {
        if (value == kSelfArg) return WPARAM(probe.WindowHandle());
        if (value == kDcArg) return WPARAM(canvas.Dc());
        if (value == kDrawItemArg) return WPARAM(&draw);
        if (value == kNotifyArg) return WPARAM(&notify);
        return WPARAM(value);
    }
    DRAWITEMSTRUCT draw = {};
    NMHDR notify = {};
    WPARAM wParam;
    LPARAM lParam;
};

class SlotTable : public ::testing::TestWithParam<SlotCase> {
protected:
    BitmapCanvas canvas = FilledCanvas(8, 8);
    SolidBrush brush{RGB(1, 2, 3)};
};

TEST_P(SlotTable, PlainWindowReachesTheSlotAndReturnsTheResult) {
    const SlotCase& c = GetParam();
    Probe probe;
    CreatePlain(probe);
    probe.brush = brush.Handle();
    for (bool handled : {false, true}) {
        SCOPED_TRACE(handled ? "operation keeps the flag" : "base operation");
        probe.keepHandled = handled;
        probe.calls.clear();
        Arguments args(c, probe, canvas);
        LRESULT result = ::SendMessageW(probe.WindowHandle(), c.message, args.wParam, args.lParam);
        if (c.call) {
            ASSERT_FALSE(probe.calls.empty());
            EXPECT_EQ(c.call, probe.calls[0]);
        } else {
            EXPECT_TRUE(probe.calls.empty());
        }
        EXPECT_EQ(handled ? c.flagWhenHandled : c.flagByDefault, probe.HandledFlag);
        LRESULT expected = c.resultWhenHandled == kBrushResult ? LRESULT(brush.Handle()) : c.resultWhenHandled;
        if (handled) {
            EXPECT_EQ(expected, result);
        } else if (c.message == WM_ERASEBKGND) {
            EXPECT_EQ(0, result);  // DefWindowProcW had no class brush to erase with
        } else if (c.message == WM_CTLCOLORSTATIC || c.message == WM_CTLCOLORDLG) {
            EXPECT_NE(0, result);  // DefWindowProcW's own brush
            EXPECT_NE(LRESULT(brush.Handle()), result);
        }
    }
}

TEST_P(SlotTable, DialogReturnsTheFlagAndStoresTheResult) {
    const SlotCase& c = GetParam();
    Probe probe;
    CreateProbeDialog(probe);
    probe.brush = brush.Handle();
    HWND dialog = probe.WindowHandle();
    for (bool handled : {false, true}) {
        SCOPED_TRACE(handled ? "operation keeps the flag" : "base operation");
        probe.keepHandled = handled;
        probe.calls.clear();
        Arguments args(c, probe, canvas);
        constexpr LONG_PTR kUntouched = 0x5A5A;
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, kUntouched);
        // The dialog procedure itself, without the system's default dialog processing around it.
        INT_PTR returned = SharedDialogProc(dialog, c.message, args.wParam, args.lParam);
        if (c.call) {
            ASSERT_FALSE(probe.calls.empty());
            EXPECT_EQ(c.call, probe.calls[0]);
        }
        int32_t flag = handled ? c.flagWhenHandled : c.flagByDefault;
        EXPECT_EQ(flag, probe.HandledFlag);
        if (c.resultWhenHandled == kBrushResult && flag) {
            // Colour messages give the brush itself and leave the stored result alone.
            EXPECT_EQ(INT_PTR(brush.Handle()), returned);
            EXPECT_EQ(kUntouched, ::GetWindowLongPtrW(dialog, DWLP_MSGRESULT));
        } else {
            EXPECT_EQ(flag, returned);
            EXPECT_EQ(flag ? c.resultWhenHandled : 0, ::GetWindowLongPtrW(dialog, DWLP_MSGRESULT));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Messages, SlotTable, ::testing::ValuesIn(kSlotCases),
                         [](const ::testing::TestParamInfo<SlotCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             }
                             return name;
                         });

// --- commands -------------------------------------------------------------------------------

struct CommandCase {
    int id;
    int notification;
    std::vector<std::string> calls;
};

TEST(Dispatcher, StandardCommandIdsReachTheirSlotBeforeOnCommand) {
    const CommandCase cases[] = {
        {1, 0, {"OnOK()", "OnCommand(1,0,0)"}},
        {2, 0, {"OnCancel()", "OnCommand(2,0,0)"}},
        {2, 1, {"OnCommand(2,0,1)"}},  // an accelerator: only OnCommand
        {3, 0, {"OnAbort()", "OnCommand(3,0,0)"}},
        {4, 0, {"OnRetry()", "OnCommand(4,0,0)"}},
        {5, 0, {"OnIgnore()", "OnCommand(5,0,0)"}},
        {6, 0, {"OnYes()", "OnCommand(6,0,0)"}},
        {7, 0, {"OnNo()", "OnCommand(7,0,0)"}},
        {8, 0, {"OnCloseCommand()", "OnCommand(8,0,0)"}},
        {9, 0, {"OnHelp()", "OnCommand(9,0,0)"}},
        {0, 0, {"OnCommand(0,0,0)"}},
        {10, 0, {"OnCommand(10,0,0)"}},
        {1, BN_DOUBLECLICKED, {"OnCommand(1,0,5)"}},
    };
    Probe plain;
    CreatePlain(plain);
    Probe dialog;
    CreateProbeDialog(dialog);
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(Call("command", c.id, c.notification));
        for (Probe* probe : {&plain, &dialog}) {
            probe->calls.clear();
            ::SendMessageW(probe->WindowHandle(), WM_COMMAND, MAKEWPARAM(c.id, c.notification), 0);
            EXPECT_EQ(c.calls, probe->calls);
            EXPECT_EQ(1, probe->HandledFlag);
        }
    }
}

TEST(Dispatcher, CloseIsDefaultProcessedUnlessHandled) {
    Probe kept;
    CreatePlain(kept);
    kept.keepHandled = true;
    ::SendMessageW(kept.WindowHandle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(kept.WindowHandle()));

    Probe closed;
    CreatePlain(closed);
    closed.calls.clear();
    HWND window = closed.WindowHandle();
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window));  // DefWindowProcW destroyed it
    EXPECT_EQ((std::vector<std::string>{"OnClose()", "OnDestroy()"}), closed.calls);

    // A dialog's default processing turns WM_CLOSE into the Cancel command (as Alt+F4 does).
    Probe dialog;
    CreateProbeDialog(dialog);
    ::SendMessageW(dialog.WindowHandle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dialog.Called("OnCancel()"); }));
}

TEST(Dispatcher, PreFilterMessageSeesEveryMessageFirstAndMayTakeIt) {
    Probe plain;
    CreatePlain(plain);
    plain.calls.clear();
    plain.filterMessage = WM_CLOSE;
    plain.filterResult = 1234;
    EXPECT_EQ(1234, ::SendMessageW(plain.WindowHandle(), WM_CLOSE, 0, 0));
    EXPECT_TRUE(plain.calls.empty());
    EXPECT_TRUE(::IsWindow(plain.WindowHandle()));
    ASSERT_FALSE(plain.seen.empty());
    EXPECT_EQ(UINT(WM_CLOSE), plain.seen.back());

    Probe dialog;
    CreateProbeDialog(dialog);
    dialog.filterMessage = WM_USER + 9;
    dialog.filterResult = 1234;
    EXPECT_EQ(1, SharedDialogProc(dialog.WindowHandle(), WM_USER + 9, 0, 0));
    EXPECT_EQ(1234, ::GetWindowLongPtrW(dialog.WindowHandle(), DWLP_MSGRESULT));
    // Through the system's dialog processing the stored result is the message's result.
    EXPECT_EQ(1234, ::SendMessageW(dialog.WindowHandle(), WM_USER + 9, 0, 0));
}

TEST(Dispatcher, CreationMessagesAreHandledForPlainWindowsAndDialogs) {
    Probe plain;
    CreatePlain(plain);
    // Even a base OnInitWindow that clears the flag leaves WM_CREATE handled: result 0.
    EXPECT_EQ(0, DispatchMessageToWindow(&plain, plain.WindowHandle(), WM_CREATE, 0, 0));
    EXPECT_EQ(1, plain.HandledFlag);

    Probe dialog;
    CreateProbeDialog(dialog);
    // TRUE: the system sets the default focus.
    EXPECT_EQ(1, DispatchMessageToWindow(&dialog, dialog.WindowHandle(), WM_INITDIALOG, 0, 0));
}

TEST(Dispatcher, MessagesBeforeCreationGetDefaultProcessing) {
    // WM_NCCREATE, WM_NCCALCSIZE... reach DefWindowProcW (otherwise the window would not be
    // created at all); the object's first message is WM_CREATE.
    Probe plain;
    CreatePlain(plain);
    ASSERT_FALSE(plain.seen.empty());
    EXPECT_EQ(UINT(WM_CREATE), plain.seen.front());
    EXPECT_EQ("OnInitWindow()", plain.calls.front());

    // A dialog with a font gets WM_SETFONT before WM_INITDIALOG; the object never sees it.
    Probe dialog;
    CreateProbeDialog(dialog);
    ASSERT_FALSE(dialog.seen.empty());
    EXPECT_EQ(UINT(WM_INITDIALOG), dialog.seen.front());
    EXPECT_TRUE(dialog.IsDialog());
    EXPECT_FALSE(plain.IsDialog());
}

TEST(Dispatcher, ObjectWithoutWindowAnswersZeroAndCallsNothing) {
    Probe owner;
    CreatePlain(owner);
    Probe idle;
    EXPECT_EQ(0, DispatchMessageToWindow(&idle, owner.WindowHandle(), WM_ERASEBKGND, 0, 0));
    EXPECT_TRUE(idle.calls.empty());
    EXPECT_TRUE(idle.seen.empty());
}

TEST(Dispatcher, NestedMessagesDoNotChangeTheOuterResult) {
    // OnEraseBackground sends its own window an unhandled message; the erase still counts.
    Probe probe;
    CreatePlain(probe);
    probe.keepHandled = true;
    probe.onErase = [](Probe& p) { ::SendMessageW(p.WindowHandle(), WM_USER + 3, 0, 0); };
    BitmapCanvas canvas = FilledCanvas(4, 4);
    EXPECT_EQ(1, ::SendMessageW(probe.WindowHandle(), WM_ERASEBKGND, WPARAM(canvas.Dc()), 0));
    EXPECT_EQ(1, probe.HandledFlag);
}

TEST(Dispatcher, AnExceptionInAHandlerStaysInsideTheProcedure) {
    Probe probe;
    CreatePlain(probe);
    EXPECT_EQ(0, ::SendMessageW(probe.WindowHandle(), WM_KEYDOWN, VK_F12, 0));
    probe.calls.clear();
    ::SendMessageW(probe.WindowHandle(), WM_CHAR, 'a', 0);
    EXPECT_EQ((std::vector<std::string>{"OnChar(97)"}), probe.calls);
}

// --- creation, registry, destruction --------------------------------------------------------

TEST(Creation, CustomWindowsRegisterNumberedClassesAndGiveThemBack) {
    Probe first;
    CreatePlain(first);
    Probe second;
    CreatePlain(second);
    const WString& name = first.ClassName();
    ASSERT_EQ(0, Compare(name.Left(4), WString(L"XWnd"), false));
    int number = int(ParseInteger(name.From(5)));
    EXPECT_EQ(0, Compare(second.ClassName(), FormatText(L"XWnd%d", number + 1), false));

    RECT rect = first.WindowRect();
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(50, rect.top);
    EXPECT_EQ(200, first.WindowWidth());
    EXPECT_EQ(200, first.WindowHeight());
    EXPECT_EQ(&first, WindowRegistry::Find(first.WindowHandle()));
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    WString className = first.ClassName();
    ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), className.c_str(), &info));
    EXPECT_EQ(UINT(CS_DBLCLKS | CS_OWNDC | CS_DROPSHADOW), info.style);
    EXPECT_EQ(nullptr, info.hbrBackground);

    HWND window = first.WindowHandle();
    first.DestroyWindowObject();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(nullptr, first.WindowHandle());
    EXPECT_TRUE(first.ClassName().Empty());
    EXPECT_FALSE(::GetClassInfoExW(::GetModuleHandleW(nullptr), className.c_str(), &info));
    EXPECT_FALSE(WindowRegistry::Contains(&first));
    EXPECT_TRUE(first.Called("OnDestroy()"));
    EXPECT_TRUE(WindowRegistry::Contains(&second));
}

TEST(Creation, DestructorDestroysTheWindow) {
    HWND window = nullptr;
    int before = WindowRegistry::Count();
    {
        Probe probe;
        CreatePlain(probe);
        window = probe.WindowHandle();
        EXPECT_EQ(before + 1, WindowRegistry::Count());
    }
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(before, WindowRegistry::Count());
}

TEST(Creation, CreatingAgainReplacesTheFirstWindow) {
    Probe probe;
    CreatePlain(probe);
    HWND first = probe.WindowHandle();
    CreateProbeDialog(probe);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_TRUE(probe.IsDialog());
    EXPECT_TRUE(probe.ClassName().Empty());
    EXPECT_EQ(&probe, WindowRegistry::Find(probe.WindowHandle()));
    EXPECT_EQ(nullptr, WindowRegistry::Find(first));
}

TEST(Creation, AWindowDestroyedElsewhereIsForgotten) {
    // Without this, a later window that got the same handle would reach this object.
    Probe probe;
    CreatePlain(probe);
    ::DestroyWindow(probe.WindowHandle());
    EXPECT_EQ(nullptr, probe.WindowHandle());
    EXPECT_FALSE(WindowRegistry::Contains(&probe));
    EXPECT_EQ(0, probe.AddTimer());
    probe.DestroyWindowObject();  // still gives the class back
    EXPECT_TRUE(probe.ClassName().Empty());
}

TEST(Creation, ModalDialogReturnsItsEndCode) {
    Probe probe;
    probe.onInit = [](Probe& p) { ::EndDialog(p.WindowHandle(), 42); };
    EXPECT_EQ(42, probe.CreateFromTemplate(IDD_PROBE, nullptr, true));
    EXPECT_EQ(nullptr, probe.WindowHandle());
    EXPECT_FALSE(WindowRegistry::Contains(&probe));

    // The same through the dialog's own message loop: a posted Cancel ends it.
    Probe cancelled;
    cancelled.onInit = [](Probe& p) { ::PostMessageW(p.WindowHandle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); };
    cancelled.onCancel = [](Probe& p) { ::EndDialog(p.WindowHandle(), 7); };
    EXPECT_EQ(7, cancelled.CreateFromTemplate(IDD_PROBE, nullptr, true));
    EXPECT_TRUE(cancelled.Called("OnCommand(2,0,0)"));
}

TEST(Creation, MissingTemplateCreatesNothing) {
    Probe probe;
    EXPECT_EQ(0, probe.CreateFromTemplate(4321, nullptr, false));
    EXPECT_EQ(nullptr, probe.WindowHandle());
    EXPECT_EQ(-1, probe.CreateFromTemplate(4321, nullptr, true));
}

TEST(Creation, ItemHandleFindsDialogControls) {
    Probe probe;
    EXPECT_EQ(nullptr, probe.ItemHandle(IDCANCEL));
    CreateProbeDialog(probe);
    HWND cancel = probe.ItemHandle(IDCANCEL);
    ASSERT_NE(nullptr, cancel);
    EXPECT_EQ(IDCANCEL, ::GetDlgCtrlID(cancel));
    EXPECT_EQ(nullptr, probe.ItemHandle(1234));
}

// --- timers ---------------------------------------------------------------------------------

TEST(Timers, IdsCountUpFromTheLargestInUse) {
    Probe probe;
    EXPECT_EQ(0, probe.AddTimer());  // no window
    CreatePlain(probe);
    std::vector<int32_t> fired;
    bool lockFree = true;
    probe.onTimer = [&](Probe& p, int32_t id) {
        fired.push_back(id);
        lockFree = lockFree && TryLockElsewhere(p.TimerLock());
    };
    EXPECT_EQ(1, probe.AddTimer());
    EXPECT_EQ(2, probe.AddTimer());
    auto count = [&](int32_t id) { return std::count(fired.begin(), fired.end(), id); };
    ASSERT_TRUE(PumpUntil([&] { return count(1) >= 3 && count(2) >= 1; }));
    EXPECT_EQ(3, probe.AddTimer());
    EXPECT_TRUE(probe.Called("OnTimer(1,0)"));
    EXPECT_FALSE(lockFree);  // OnTimer runs under the window's timer lock

    std::vector<TimerRecord> timers = probe.Timers();
    ASSERT_EQ(3u, timers.size());
    EXPECT_EQ(3, timers[2].id);
    EXPECT_EQ(0, timers[2].userValue);

    probe.DestroyWindowObject();
    EXPECT_TRUE(probe.Timers().empty());
}

// --- layout ---------------------------------------------------------------------------------

TEST(Layout, MoveWindowToKeepsACoordinateGivenAsMinus12345) {
    Probe probe;
    probe.MoveWindowTo(1, 2);  // no window: nothing happens
    CreatePlain(probe);
    probe.MoveWindowTo(kKeepCoordinate, 40);
    RECT rect = probe.WindowRect();
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(40, rect.top);
    EXPECT_EQ(200, probe.WindowWidth());
    EXPECT_EQ(200, probe.WindowHeight());
    probe.MoveWindowTo(70, kKeepCoordinate);
    rect = probe.WindowRect();
    EXPECT_EQ(70, rect.left);
    EXPECT_EQ(40, rect.top);

    // A child moves in its parent's client coordinates.
    Probe child;
    ASSERT_TRUE(child.CreateCustomWindow(WS_CHILD, 0, probe.WindowHandle(), 10, 20, 60, 80));
    child.MoveWindowTo(kKeepCoordinate, 5);
    POINT origin = {0, 0};
    ::ClientToScreen(probe.WindowHandle(), &origin);
    rect = child.WindowRect();
    EXPECT_EQ(origin.x + 10, rect.left);
    EXPECT_EQ(origin.y + 5, rect.top);
    EXPECT_EQ(50, child.WindowWidth());
    EXPECT_EQ(60, child.WindowHeight());
}

TEST(Layout, DialogUnitsMapThroughTheDialogsFont) {
    Probe probe;
    CreateProbeDialog(probe);
    RECT client = {};
    ::GetClientRect(probe.WindowHandle(), &client);
    // The template is 200 x 100 units.
    EXPECT_EQ(client.right, DluToPixelsX(200, probe.WindowHandle()));
    EXPECT_EQ(client.bottom, DluToPixelsY(100, probe.WindowHandle()));
    EXPECT_GT(DluToPixelsX(200, probe.WindowHandle()), DluToPixelsY(200, probe.WindowHandle()));
}

TEST(Layout, ScaleForDpiFollowsTheScreenDpi) {
    struct Case {
        int dpi;
        int value;
        int scaled;
    };
    const Case cases[] = {
        {96, 100, 100}, {120, 100, 125}, {144, 100, 150}, {120, 21, 26}, {144, 21, 31}, {192, 13, 26}, {96, 0, 0},
    };
    for (const Case& c : cases) {
        SetScreenDpi(c.dpi);
        EXPECT_EQ(c.scaled, ScaleForDpi(c.value)) << c.dpi << " dpi, " << c.value;
    }
    SetScreenDpi(-1);
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(dpi, ScreenDpi());
}

}  // namespace
