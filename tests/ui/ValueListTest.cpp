// The value list: check-box rows toggled by the real mouse (on the image only) and keyboard
// (Space), never when disabled; the checked test; the row states painted through the parent's
// WM_DRAWITEM; Tab handed to the parent; the selection keys; the editor of a text row; the list
// box's id and row height; positions scaled by DPI. Input goes through SendInput to a dialog in
// the foreground. This executable carries the installer's resources (icons, dialog template 123).
//
// TARVO_HOLD_MS=n keeps the finish-page sample on screen for n ms (for a screenshot).
#include "ui/ValueList.h"

#include "ui/UiTestSupport.h"
#include "ui/Window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

constexpr int kTemplate = 123;  // the uninstall wizard's template: a 399 x 238 dialog with two buttons
constexpr int kCheckedIcon = 112, kCheckedDisabledIcon = 113, kUncheckedIcon = 114, kUncheckedDisabledIcon = 115;
constexpr int kRunProgramIcon = 116, kRestartIcon = 117, kCreateIconIcon = 118;

bool HasResources() { return ::FindResourceW(nullptr, MAKEINTRESOURCEW(kTemplate), RT_DIALOG) != nullptr; }

class TestList : public XValueList {
public:
    std::vector<WPARAM> keyUps;
    int buttonUps = 0;
    std::vector<int> selections;
    std::vector<int> valueChanges;
    std::vector<int> activations;

    LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             int32_t* handled) override {
        if (window == ListHandle()) {
            if (message == WM_KEYUP) keyUps.push_back(wParam);
            if (message == WM_LBUTTONUP) ++buttonUps;
        }
        return XValueList::SubclassCallback(object, window, message, wParam, lParam, handled);
    }
    void OnSelectionChanged(int row) override { selections.push_back(row); }
    void OnRowValueChanged(int row) override { valueChanges.push_back(row); }
    void OnRowActivated(int row) override { activations.push_back(row); }
};

// A dialog that hands its messages to the list first, as the wizards do.
class Host : public XWindow {
public:
    TestList list;
    std::vector<std::pair<UINT, WPARAM>> keys;  // key messages that reached the dialog
    int drawItems = 0;
    SolidBrush white{RGB(255, 255, 255)};

    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override {
        if (message == WM_KEYDOWN || message == WM_KEYUP) keys.emplace_back(message, wParam);
        if (message == WM_DRAWITEM) ++drawItems;
        return list.FilterParentMessage(window, message, wParam, lParam, handled);
    }
    HBRUSH OnCtlColorDialog() override { return white.Handle(); }
    HBRUSH OnCtlColorStatic() override { return white.Handle(); }
};

ValueRow CheckRow(const wchar_t* caption, bool checked, bool disabled = false, int iconId = 0, int iconSize = 16) {
    ValueRow row;
    row.kind = RowKind::CheckBox;
    row.caption = caption;
    row.value = checked ? L"1" : L"0";
    row.disabled = disabled;
    if (iconId) row.icon = LoadIconImage(iconId, iconSize);
    row.iconX = 6;
    row.captionX = 48;
    return row;
}

ValueRow PlainRow(RowKind kind, const wchar_t* caption, const wchar_t* value = L"") {
    ValueRow row;
    row.kind = kind;
    row.caption = caption;
    row.value = value;
    return row;
}

void PressKey(WORD vk) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof(INPUT));
}

void ClickAt(POINT screen) {
    ::SetCursorPos(screen.x, screen.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, in, sizeof(INPUT));
}

class ValueListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasResources()) GTEST_SKIP() << "built without the installer's resources";
        SetScreenDpi(Dpi());
        ASSERT_EQ(1, host.CreateFromTemplate(kTemplate, nullptr, false));
        int size = ScaleForDpi(100) >= 150 ? 24 : ScaleForDpi(100) >= 125 ? 20 : 16;
        IconHandle checked = LoadIconImage(kCheckedIcon, size);
        IconHandle unchecked = LoadIconImage(kUncheckedIcon, size);
        IconHandle checkedDisabled = LoadIconImage(kCheckedDisabledIcon, size);
        IconHandle uncheckedDisabled = LoadIconImage(kUncheckedDisabledIcon, size);
        ASSERT_TRUE(checked && unchecked && checkedDisabled && uncheckedDisabled);
        list().SetCheckImages(checked.Get(), unchecked.Get(), checkedDisabled.Get(), uncheckedDisabled.Get());
        ASSERT_TRUE(list().Create(host.WindowHandle()));
    }
    void TearDown() override {
        host.DestroyWindowObject();
        SetScreenDpi(-1);
    }
    virtual int Dpi() const { return 96; }

    TestList& list() { return host.list; }
    HWND ListWindow() { return list().ListHandle(); }

    // The dialog in the foreground with the focus in the list.
    void ShowAndFocus() {
        ::ShowWindow(host.WindowHandle(), SW_SHOW);
        ::SetForegroundWindow(host.WindowHandle());
        ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == host.WindowHandle(); }, 10000))
            << "the dialog never came to the foreground";
        ::SetFocus(ListWindow());
        ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == ListWindow(); }, 10000));
    }

    RECT ItemRect(int row) {
        RECT rect = {};
        ::SendMessageW(ListWindow(), LB_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    // A screen point in row `row`, `x` pixels from the row's left edge, halfway down.
    POINT RowPoint(int row, int x) {
        RECT rect = ItemRect(row);
        POINT point = {rect.left + x, (rect.top + rect.bottom) / 2};
        ::ClientToScreen(ListWindow(), &point);
        return point;
    }

    // A real click, and waiting until the list box has seen the button go up.
    void Click(POINT screen) {
        int before = list().buttonUps;
        ClickAt(screen);
        ASSERT_TRUE(PumpUntil([&] { return list().buttonUps > before; }, 10000)) << "the click never arrived";
    }

    // A real key press, and waiting until the list box has seen the key go up.
    void Key(WORD vk) {
        size_t before = list().keyUps.size();
        PressKey(vk);
        ASSERT_TRUE(PumpUntil([&] { return list().keyUps.size() > before && list().keyUps.back() == vk; }, 10000))
            << "key " << vk << " never arrived";
    }

    // Row `row` painted through the dialog's WM_DRAWITEM, as the list box asks for it.
    BitmapCanvas PaintThroughParent(int row, UINT itemState, int width = 300, int height = 0) {
        if (!height) height = list().RowHeight();
        BitmapCanvas canvas = FilledCanvas(width, height, kRed);
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_LISTBOX;
        draw.CtlID = list().ListId();
        draw.itemID = UINT(row);
        draw.itemAction = ODA_DRAWENTIRE;
        draw.itemState = itemState;
        draw.hwndItem = ListWindow();
        draw.hDC = canvas.Dc();
        draw.rcItem = RECT{0, 0, width, height};
        EXPECT_EQ(TRUE, ::SendMessageW(host.WindowHandle(), WM_DRAWITEM, list().ListId(),
                                       reinterpret_cast<LPARAM>(&draw)));
        return canvas;
    }

    Host host;
};

// How an icon looks on a white row at (x, centred).
BitmapCanvas IconOnWhite(int id, int size, int x, int width, int height) {
    BitmapCanvas canvas = FilledCanvas(width, height, kWhite);
    IconHandle icon = LoadIconImage(id, size);
    DrawIconImage(canvas.Dc(), icon.Get(), x, height / 2 - size / 2);
    return canvas;
}

bool SameRegion(const BitmapCanvas& a, const BitmapCanvas& b, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (Pixel(a, x, y) != Pixel(b, x, y)) return false;
        }
    }
    return true;
}

// --- the checked test, without a window ---------------------------------------------------------

TEST(ValueListRows, IsCheckedReadsTheValueOfCheckRowsOnly) {
    XValueList list;
    struct Case {
        RowKind kind;
        const wchar_t* value;
        bool checked;
    };
    const Case cases[] = {
        {RowKind::CheckBox, L"1", true},      {RowKind::CheckBox, L"0", false},   {RowKind::CheckBox, L"2", true},
        {RowKind::CheckBox, L"-1", true},     {RowKind::CheckBox, L"", false},    {RowKind::CheckBox, L"yes", false},
        {RowKind::CheckBox, L" 1", true},     {RowKind::Option, L"1", true},      {RowKind::Option, L"0", false},
        {RowKind::Caption, L"1", false},      {RowKind::Text, L"1", false},       {RowKind::Link, L"1", false},
        {RowKind::FixedChoice, L"1", false},
    };
    for (const Case& c : cases) {
        int index = list.AddRow(PlainRow(c.kind, L"row", c.value));
        ASSERT_EQ(list.RowCount() - 1, index);
    }
    for (int i = 0; i < int(std::size(cases)); ++i) {
        EXPECT_EQ(cases[i].checked, list.IsChecked(i)) << "row " << i << " value " << ToAnsi(cases[i].value);
    }
    EXPECT_FALSE(list.IsChecked(-1));
    EXPECT_FALSE(list.IsChecked(list.RowCount()));

    list.SetChecked(0, false);
    EXPECT_FALSE(list.IsChecked(0));
    EXPECT_EQ(WString(L"0"), list.Value(0));
    list.SetChecked(1, true);
    EXPECT_TRUE(list.IsChecked(1));
    EXPECT_EQ(WString(L"1"), list.Value(1));
    list.SetChecked(list.RowCount(), true);  // out of range: nothing happens
    list.SetChecked(-1, true);
    EXPECT_EQ(int(std::size(cases)), list.RowCount());
}

// --- the list box ---------------------------------------------------------------------------------

TEST_F(ValueListWindow, TheListBoxHasAnIdFromItsHandleAndTheRowHeight) {
    HWND listBox = ListWindow();
    ASSERT_NE(nullptr, listBox);
    EXPECT_EQ(host.WindowHandle(), ::GetParent(listBox));
    EXPECT_EQ(list().ListId(), static_cast<UINT>(::GetDlgCtrlID(listBox)));
    // A dialog would take a low word of 1 to 9 in WM_COMMAND for one of its standard buttons.
    EXPECT_GT(LOWORD(list().ListId()), 9);
    EXPECT_EQ(21, ::SendMessageW(listBox, LB_GETITEMHEIGHT, 0, 0));
    EXPECT_EQ(::SendMessageW(host.WindowHandle(), WM_GETFONT, 0, 0), ::SendMessageW(listBox, WM_GETFONT, 0, 0));
    LONG_PTR style = ::GetWindowLongPtrW(listBox, GWL_STYLE);
    EXPECT_TRUE(style & LBS_OWNERDRAWFIXED);
    EXPECT_TRUE(style & LBS_WANTKEYBOARDINPUT);
    EXPECT_TRUE(::GetWindowLongPtrW(listBox, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // At 25, 135 dialog units of the dialog.
    RECT rect;
    ::GetWindowRect(listBox, &rect);
    ::MapWindowPoints(nullptr, host.WindowHandle(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(DluToPixelsX(25, host.WindowHandle()), rect.left);
    EXPECT_EQ(DluToPixelsY(135, host.WindowHandle()), rect.top);

    // The parent's messages that name the list box are the list's; others' are not.
    MEASUREITEMSTRUCT measure = {ODT_LISTBOX, list().ListId(), 0, 0, 5, 0};
    EXPECT_EQ(TRUE, ::SendMessageW(host.WindowHandle(), WM_MEASUREITEM, list().ListId(),
                                   reinterpret_cast<LPARAM>(&measure)));
    EXPECT_EQ(21u, measure.itemHeight);
    MEASUREITEMSTRUCT other = {ODT_LISTBOX, list().ListId() + 1, 0, 0, 5, 0};
    ::SendMessageW(host.WindowHandle(), WM_MEASUREITEM, list().ListId() + 1, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(5u, other.itemHeight);
    list().AddRow(CheckRow(L"zero", true));
    list().SelectRow(0);
    HWND cancel = ::GetDlgItem(host.WindowHandle(), IDCANCEL);
    ::SendMessageW(host.WindowHandle(), WM_COMMAND, MAKEWPARAM(LOWORD(list().ListId()), LBN_DBLCLK),
                   reinterpret_cast<LPARAM>(cancel));
    EXPECT_TRUE(list().activations.empty()) << "a command of another control with the same low word";
    ::SendMessageW(host.WindowHandle(), WM_COMMAND, MAKEWPARAM(LOWORD(list().ListId()), LBN_DBLCLK),
                   reinterpret_cast<LPARAM>(listBox));
    EXPECT_EQ(std::vector<int>{0}, list().activations);

    list().UsePlainBorder();
    EXPECT_TRUE(::GetWindowLongPtrW(listBox, GWL_STYLE) & WS_BORDER);
    EXPECT_FALSE(::GetWindowLongPtrW(listBox, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    // Rows become list-box items; Destroy takes the list box and the rows away.
    list().AddRow(CheckRow(L"one", true));
    list().AddRow(CheckRow(L"two", false));
    EXPECT_EQ(3, ::SendMessageW(listBox, LB_GETCOUNT, 0, 0));
    list().Destroy();
    EXPECT_FALSE(::IsWindow(listBox));
    EXPECT_EQ(0, list().RowCount());
    EXPECT_EQ(nullptr, list().ListHandle());
}

// --- the mouse --------------------------------------------------------------------------------------

TEST_F(ValueListWindow, AClickTogglesACheckBoxOnlyOnItsImageAndOnlyWhenEnabled) {
    int changes = 0;
    ValueRow rows[] = {CheckRow(L"Create Icon: Notes", true, false, kCreateIconIcon),
                       CheckRow(L"Run Program: Notes", false, false, kRunProgramIcon),
                       CheckRow(L"Restart Computer", true, true, kRestartIcon)};
    for (ValueRow& row : rows) {
        row.onChange = [&](XValueList&, int) { ++changes; };
        list().AddRow(std::move(row));
    }
    ShowAndFocus();

    enum Where { Image, Caption, Icon, RightOfImage };
    struct Case {
        int row;
        Where where;
        bool toggles;
    };
    // Consecutive clicks land on different points, so that none of them is a double-click.
    const Case cases[] = {
        {0, Image, true},   {0, Caption, false}, {1, Image, true},  {1, Icon, false},
        {0, Image, true},   {1, RightOfImage, false}, {2, Image, false}, {2, Caption, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << c.row << " at " << c.where);
        // The check image is 16 pixels wide at x 28.
        int x = c.where == Image ? 28 + 8 : c.where == Caption ? 48 + 12 : c.where == Icon ? 6 + 8 : 28 + 16 + 1;
        bool before = list().IsChecked(c.row);
        int changesBefore = changes;
        size_t notesBefore = list().valueChanges.size();
        Click(RowPoint(c.row, x));
        EXPECT_EQ(before != c.toggles, list().IsChecked(c.row));
        EXPECT_EQ(changesBefore + (c.toggles ? 1 : 0), changes);
        EXPECT_EQ(notesBefore + (c.toggles ? 1 : 0), list().valueChanges.size());
    }
    // The clicks selected their rows as a list box does.
    EXPECT_EQ(2, list().CurrentRow());
}

TEST_F(ValueListWindow, ADoubleClickActivatesTheRow) {
    list().AddRow(CheckRow(L"first", true));
    list().AddRow(CheckRow(L"second", false));
    ShowAndFocus();
    POINT caption = RowPoint(1, 48 + 12);
    ::SetCursorPos(caption.x, caption.y);
    INPUT in[4] = {};
    for (int i = 0; i < 4; ++i) {
        in[i].type = INPUT_MOUSE;
        in[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
    }
    ::SendInput(4, in, sizeof(INPUT));
    ASSERT_TRUE(PumpUntil([&] { return list().buttonUps >= 2; }, 10000));
    EXPECT_EQ(std::vector<int>{1}, list().activations);
    EXPECT_FALSE(list().IsChecked(1));
    EXPECT_TRUE(list().valueChanges.empty());
}

// --- the keyboard ------------------------------------------------------------------------------

TEST_F(ValueListWindow, SpaceTogglesTheCurrentCheckBoxUnlessItIsDisabled) {
    list().AddRow(CheckRow(L"unchecked", false));
    list().AddRow(CheckRow(L"checked", true));
    list().AddRow(CheckRow(L"disabled", true, true));
    list().AddRow(PlainRow(RowKind::Caption, L"caption", L"1"));
    ShowAndFocus();

    struct Case {
        int row;
        bool checkedAfter;
        bool changed;
    };
    const Case cases[] = {{0, true, true}, {0, false, true}, {1, false, true}, {2, true, false}, {3, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << c.row);
        list().SelectRow(c.row);
        size_t changesBefore = list().valueChanges.size();
        Key(VK_SPACE);
        EXPECT_EQ(c.checkedAfter, list().IsChecked(c.row));
        EXPECT_EQ(changesBefore + (c.changed ? 1 : 0), list().valueChanges.size());
        EXPECT_EQ(c.row, list().CurrentRow()) << "Space moved the selection";
    }
    // The disabled row keeps its value; the caption row's "1" was never a check state.
    EXPECT_EQ(WString(L"1"), list().Value(2));
    EXPECT_EQ(WString(L"1"), list().Value(3));
}

TEST_F(ValueListWindow, ArrowsMoveTheSelectionByOneRowAndPageKeysActOnKeyUp) {
    for (int i = 0; i < 12; ++i) list().AddRow(CheckRow(L"row", i % 2 == 0));
    ShowAndFocus();
    RECT client;
    ::GetClientRect(ListWindow(), &client);
    const int page = std::max(int(client.bottom / list().RowHeight()), 1);
    ASSERT_LT(page, 11) << "the list shows every row: the page keys prove nothing";

    list().SelectRow(0);
    list().selections.clear();
    struct Step {
        WORD key;
        int row;
    };
    const Step steps[] = {{VK_DOWN, 1},     {VK_DOWN, 2},         {VK_UP, 1},  {VK_END, 11},
                          {VK_DOWN, 11},    {VK_PRIOR, 11 - page}, {VK_HOME, 0}, {VK_UP, 0},
                          {VK_NEXT, page},  {VK_LEFT, page},      {VK_RIGHT, page}};
    std::vector<int> expectedSelections;
    int current = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key);
        Key(step.key);
        EXPECT_EQ(step.row, list().CurrentRow());
        if (step.row != current) expectedSelections.push_back(step.row);
        current = step.row;
    }
    EXPECT_EQ(expectedSelections, list().selections);
    // None of the keys touched a check box.
    for (int i = 0; i < 12; ++i) EXPECT_EQ(i % 2 == 0, list().IsChecked(i)) << i;
}

TEST_F(ValueListWindow, TabIsPostedToTheParent) {
    list().AddRow(CheckRow(L"one", true));
    ShowAndFocus();
    host.keys.clear();
    // The test's message loop runs no dialog manager, so the Tab reaches the list box.
    Key(VK_TAB);
    ASSERT_TRUE(PumpUntil([&] { return host.keys.size() >= 2; }, 10000));
    ASSERT_EQ(2u, host.keys.size());
    EXPECT_EQ(UINT(WM_KEYDOWN), host.keys[0].first);
    EXPECT_EQ(WPARAM(VK_TAB), host.keys[0].second);
    EXPECT_EQ(UINT(WM_KEYUP), host.keys[1].first);
    EXPECT_EQ(WPARAM(VK_TAB), host.keys[1].second);

    // Posted, so a dialog manager in the parent's loop moves the focus on from the list.
    MSG msg = {};
    msg.hwnd = host.WindowHandle();
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    EXPECT_TRUE(::IsDialogMessageW(host.WindowHandle(), &msg));
    EXPECT_NE(ListWindow(), ::GetFocus());
    EXPECT_EQ(host.WindowHandle(), ::GetParent(::GetFocus()));

    // Other keys stay with the list.
    host.keys.clear();
    ::SetFocus(ListWindow());
    Key(VK_DOWN);
    PumpUntil([] { return false; }, 0);
    EXPECT_TRUE(host.keys.empty());
}

// --- painting ---------------------------------------------------------------------------------

TEST_F(ValueListWindow, RowsArePaintedWithTheirStateBits) {
    using namespace RowStateBits;
    list().AddRow(CheckRow(L"", false));               // 0 unchecked
    list().AddRow(CheckRow(L"", true));                // 1 checked
    list().AddRow(CheckRow(L"", true, true));          // 2 checked, disabled
    list().AddRow(CheckRow(L"", false, true));         // 3 unchecked, disabled
    list().AddRow(CheckRow(L"Caption", true));         // 4 captions: black
    list().AddRow(CheckRow(L"Caption", true, true));   // 5 and light grey when disabled

    const int width = 300;
    const int height = list().RowHeight();
    struct Case {
        int row;
        UINT itemState;
        uint32_t bits;
        int image;  // the check image expected at x 28, on white
    };
    const Case cases[] = {
        {0, 0, Enabled | NotSelected | NotFocused | Unchecked | NotEditing, kUncheckedIcon},
        {1, 0, Enabled | NotSelected | NotFocused | Checked | NotEditing, kCheckedIcon},
        {2, 0, Disabled | NotSelected | NotFocused | Checked | NotEditing, kCheckedDisabledIcon},
        {3, 0, Disabled | NotSelected | NotFocused | Unchecked | NotEditing, kUncheckedDisabledIcon},
        {1, ODS_SELECTED | ODS_FOCUS, Enabled | Selected | Focused | Checked | NotEditing, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << c.row << " state " << c.itemState);
        EXPECT_EQ(c.bits, list().RowState(c.row, c.itemState));
        BitmapCanvas painted = PaintThroughParent(c.row, c.itemState, width, height);
        EXPECT_EQ(c.bits, list().Row(c.row)->drawing.State());
        if (c.image) {
            BitmapCanvas expected = IconOnWhite(c.image, 16, 28, width, height);
            EXPECT_TRUE(SameRegion(painted, expected, 0, 0, width, height)) << "not the image " << c.image;
        } else {
            // The selection: a frame from x 1 and a lighter fill inside it.
            EXPECT_EQ(kRowSelectionBorder, Pixel(painted, 1, 0));
            EXPECT_EQ(kRowSelectionBorder, Pixel(painted, width - 1, height / 2));
            EXPECT_EQ(kRowSelectionFill, Pixel(painted, 2, height / 2));
            EXPECT_EQ(kRowSelectionTop, Pixel(painted, width / 2, 2));
            EXPECT_EQ(kWhite, Pixel(painted, 0, height / 2));
        }
    }
    // The four images differ from each other, so the comparison above tells them apart.
    BitmapCanvas a = IconOnWhite(kCheckedIcon, 16, 0, 16, 16);
    BitmapCanvas b = IconOnWhite(kUncheckedIcon, 16, 0, 16, 16);
    BitmapCanvas c = IconOnWhite(kCheckedDisabledIcon, 16, 0, 16, 16);
    EXPECT_FALSE(SameRegion(a, b, 0, 0, 16, 16));
    EXPECT_FALSE(SameRegion(a, c, 0, 0, 16, 16));

    // Caption ink, right of the image: black when enabled, light grey only when disabled.
    auto captionInk = [&](int row) {
        BitmapCanvas painted = PaintThroughParent(row, 0, width, height);
        BitmapCanvas caption = FilledCanvas(width - 48, height);
        ::BitBlt(caption.Dc(), 0, 0, width - 48, height, painted.Dc(), 48, 0, SRCCOPY);
        std::vector<COLORREF> ink;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width - 48; ++x) {
                if (Pixel(caption, x, y) != kWhite) ink.push_back(Pixel(caption, x, y));
            }
        }
        return ink;
    };
    std::vector<COLORREF> enabledInk = captionInk(4);
    ASSERT_FALSE(enabledInk.empty());
    EXPECT_NE(std::find(enabledInk.begin(), enabledInk.end(), kBlack), enabledInk.end());
    std::vector<COLORREF> disabledInk = captionInk(5);
    ASSERT_FALSE(disabledInk.empty());
    EXPECT_NE(std::find(disabledInk.begin(), disabledInk.end(), kRowDisabledText), disabledInk.end());
    for (COLORREF ink : disabledInk) {
        ASSERT_TRUE(GetRValue(ink) >= 0xC0 && GetGValue(ink) >= 0xC0 && GetBValue(ink) >= 0xC0) << std::hex << ink;
    }

    // Past the rows, and for the empty list's focus rectangle (-1), the item is white.
    for (int row : {-1, list().RowCount()}) {
        BitmapCanvas painted = PaintThroughParent(row, ODS_FOCUS, 40, height);
        RECT ink = InkBounds(painted);
        EXPECT_GT(ink.left, ink.right) << row;
    }
}

TEST_F(ValueListWindow, WithoutDisabledImagesADisabledRowShowsTheNormalOne) {
    IconHandle checked = LoadIconImage(kCheckedIcon, 16);
    IconHandle unchecked = LoadIconImage(kUncheckedIcon, 16);
    list().SetCheckImages(checked.Get(), unchecked.Get());
    checked.Reset();  // the list keeps copies of its own
    unchecked.Reset();
    list().AddRow(CheckRow(L"", true, true));
    list().AddRow(CheckRow(L"", false, true));
    EXPECT_TRUE(SameRegion(PaintThroughParent(0, 0), IconOnWhite(kCheckedIcon, 16, 28, 300, 21), 0, 0, 300, 21));
    EXPECT_TRUE(SameRegion(PaintThroughParent(1, 0), IconOnWhite(kUncheckedIcon, 16, 28, 300, 21), 0, 0, 300, 21));
}

TEST_F(ValueListWindow, HeadingsAndLinksHaveTheirOwnLook) {
    list().AddRow(PlainRow(RowKind::Link, L"Home page", L"https://example.invalid/"));
    list().AddRow(PlainRow(RowKind::BandHeading, L"Options"));
    const int width = 300;
    const int height = list().RowHeight();

    BitmapCanvas link = PaintThroughParent(0, 0, width, height);
    bool blue = false;
    for (int y = 0; y < height && !blue; ++y) {
        for (int x = 0; x < width && !blue; ++x) blue = Pixel(link, x, y) == kRowLinkColor;
    }
    EXPECT_TRUE(blue) << "the link's caption is not blue";

    BitmapCanvas band = PaintThroughParent(1, 0, width, height);
    EXPECT_EQ(kWhite, Pixel(band, 0, height - 1));
    EXPECT_EQ(kRowBandColor, Pixel(band, width - 1, height - 1));
}

class ValueListAt144Dpi : public ValueListWindow {
protected:
    int Dpi() const override { return 144; }
};

TEST_F(ValueListAt144Dpi, SizesAndPositionsAreScaledKeepingTheirFlags) {
    EXPECT_EQ(31, list().RowHeight());
    EXPECT_EQ(31, ::SendMessageW(ListWindow(), LB_GETITEMHEIGHT, 0, 0));
    list().AddRow(CheckRow(L"", true));  // the check image at the list's column, 28 scaled
    ValueRow right = CheckRow(L"", true);
    // Right-aligned, 30 (scaled 45) pixels from the right edge.
    right.checkX = EncodeCoordinate(-30, kCoordContent | kCoordMinusSize);
    list().AddRow(std::move(right));

    const int width = 300;
    // The 24-pixel image's own ink, drawn at 0.
    RECT own = InkBounds(IconOnWhite(kCheckedIcon, 24, 0, 24, 24));
    ASSERT_LE(own.left, own.right);
    RECT ink = InkBounds(PaintThroughParent(0, 0, width, 31));
    EXPECT_EQ(42 + own.left, ink.left);
    EXPECT_EQ(42 + own.right, ink.right);
    ink = InkBounds(PaintThroughParent(1, 0, width, 31));
    EXPECT_EQ(width - 45 - 24 + own.left, ink.left);
    EXPECT_EQ(width - 45 - 24 + own.right, ink.right);
}

// --- the editor ---------------------------------------------------------------------------------

TEST_F(ValueListWindow, ATextRowIsEditedInPlace) {
    list().AddRow(CheckRow(L"check", true));
    ValueRow text = PlainRow(RowKind::Text, L"Folder", L"C:\\Apps");
    int changes = 0;
    text.onChange = [&](XValueList&, int) { ++changes; };
    list().AddRow(std::move(text));
    ValueRow choice = PlainRow(RowKind::FixedChoice, L"Size", L"Medium");
    choice.choices.Add(L"Small");
    choice.choices.Add(L"Medium");
    choice.choices.Add(L"Large");
    list().AddRow(std::move(choice));
    ShowAndFocus();

    list().SelectRow(0);
    EXPECT_EQ(nullptr, list().EditorHandle());
    list().SelectRow(1);
    HWND editor = list().EditorHandle();
    ASSERT_NE(nullptr, editor);
    wchar_t buffer[64] = {0};
    ::GetClassNameW(editor, buffer, 64);
    EXPECT_STREQ(L"Edit", buffer);
    ::GetWindowTextW(editor, buffer, 64);
    EXPECT_STREQ(L"C:\\Apps", buffer);
    EXPECT_EQ(ListWindow(), ::GetParent(editor));
    RECT rect;
    ::GetWindowRect(editor, &rect);
    ::MapWindowPoints(nullptr, ListWindow(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(150, rect.left);
    EXPECT_EQ(ItemRect(1).top, rect.top);
    EXPECT_TRUE(list().RowState(1, ODS_SELECTED) & RowStateBits::Editing);
    EXPECT_EQ(0, changes);  // showing the value is no change

    // Typing reaches the row.
    ::SetFocus(editor);
    PumpUntil([&] { return ::GetFocus() == editor; }, 10000);
    PressKey(VK_END);
    PressKey('X');  // no Shift: a small x
    ASSERT_TRUE(PumpUntil([&] { return list().Value(1) == WString(L"C:\\Appsx"); }, 10000))
        << ToAnsi(list().Value(1).c_str());
    EXPECT_EQ(1, changes);

    // Up leaves the edit for the row above: the editor goes, and its focus to the list.
    PressKey(VK_UP);
    ASSERT_TRUE(PumpUntil([&] { return list().CurrentRow() == 0; }, 10000));
    EXPECT_EQ(nullptr, list().EditorHandle());
    EXPECT_FALSE(::IsWindow(editor));
    EXPECT_EQ(ListWindow(), ::GetFocus());
    EXPECT_TRUE(list().RowState(1, 0) & RowStateBits::NotEditing);

    // A fixed choice selects the choice equal to the value.
    list().SelectRow(2);
    HWND combo = list().EditorHandle();
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(1, ::SendMessageW(combo, CB_GETCURSEL, 0, 0));
    list().SetValue(2, L"Large");
    combo = list().EditorHandle();
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(2, ::SendMessageW(combo, CB_GETCURSEL, 0, 0));

    // Disabling the row being edited takes its editor away.
    list().SetDisabled(2, true);
    EXPECT_EQ(nullptr, list().EditorHandle());
}

// --- on screen ----------------------------------------------------------------------------------

// The rows of the install wizard's finish page, painted by the list box itself.
TEST_F(ValueListWindow, FinishPageRowsPaintOnScreen) {
    list().UsePlainBorder();
    list().AddRow(CheckRow(L"Create Icon: Notes", true, false, kCreateIconIcon));
    list().AddRow(CheckRow(L"Run Program: Notes", false, false, kRunProgramIcon));
    list().AddRow(CheckRow(L"Restart Computer [Required to Finalize Setup]", true, true, kRestartIcon));
    list().AddRow(CheckRow(L"Create Icon: Notes Help (not offered)", false, true, kCreateIconIcon));
    ShowAndFocus();
    list().SelectRow(1);
    ::UpdateWindow(ListWindow());
    ASSERT_TRUE(PumpUntil([&] { return host.drawItems >= 4; }, 10000));

    if (const char* hold = std::getenv("TARVO_HOLD_MS")) {
        DWORD until = ::GetTickCount() + DWORD(std::atoi(hold));
        PumpUntil([&] { return LONG(::GetTickCount() - until) >= 0; }, DWORD(std::atoi(hold)) + 1000);
    }

    // What the list box shows: each row's check image where the DrawList put it.
    HDC screen = ::GetDC(ListWindow());
    RECT client;
    ::GetClientRect(ListWindow(), &client);
    BitmapCanvas shown = FilledCanvas(client.right, client.bottom, kRed);
    ::BitBlt(shown.Dc(), 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    ::ReleaseDC(ListWindow(), screen);
    const int images[] = {kCheckedIcon, kUncheckedIcon, kCheckedDisabledIcon, kUncheckedDisabledIcon};
    for (int row = 0; row < 4; ++row) {
        if (row == 1) continue;  // selected: the image lies on the selection's gradient
        RECT item = ItemRect(row);
        BitmapCanvas painted = FilledCanvas(client.right, item.bottom - item.top);
        ::BitBlt(painted.Dc(), 0, 0, client.right, item.bottom - item.top, shown.Dc(), 0, item.top, SRCCOPY);
        BitmapCanvas expected = IconOnWhite(images[row], 16, 28, client.right, item.bottom - item.top);
        EXPECT_TRUE(SameRegion(painted, expected, 28, 0, 28 + 16, item.bottom - item.top)) << "row " << row;
    }
    RECT selected = ItemRect(1);
    EXPECT_EQ(kRowSelectionBorder, Pixel(shown, 1, selected.top));
}

}  // namespace
