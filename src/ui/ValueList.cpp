#include "ui/ValueList.h"

#include "ui/Window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

namespace tarvo {

namespace {

constexpr int32_t kFullSize = EncodeCoordinate(0, kCoordContent);
constexpr int32_t kCentred = EncodeCoordinate(0, kCoordHalfContent | kCoordMinusHalfSize);
// Gap between a check image and a caption placed after it, and between an editor and its button.
constexpr int32_t kGap = 4;
constexpr int32_t kButtonWidth = 70;
constexpr int32_t kComboHeight = 200;
// The editor's own control id inside the list box.
constexpr int kEditorId = 1;
constexpr int kEditorButtonId = 2;

bool IsCheckKind(RowKind kind) { return kind == RowKind::CheckBox || kind == RowKind::Option; }
bool IsEditorKind(RowKind kind) {
    return kind == RowKind::Text || kind == RowKind::EditableChoice || kind == RowKind::FixedChoice;
}

// A value as the row shows it: cut at its first carriage return, which is replaced by "...".
WString ShownValue(const WString& value) {
    int cr = value.Find(L'\r');
    if (!cr) return value;
    WString shown = value.Left(cr - 1);
    shown += L"...";
    return shown;
}

WString WindowTextOf(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return WString();
    std::vector<wchar_t> buffer(size_t(length) + 1, L'\0');
    int got = ::GetWindowTextW(window, buffer.data(), length + 1);
    return WString(buffer.data(), std::max(got, 0));
}

// Sets a flag for the length of one parent message.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = saved_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
    bool saved_;
};

// Whether a child of `parent` other than `except` has a control id with this low word. A list
// box's WM_COMMAND carries only the low 16 bits of its id.
bool LowWordInUse(HWND parent, UINT id, HWND except) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (child != except && LOWORD(static_cast<UINT>(::GetDlgCtrlID(child))) == LOWORD(id)) return true;
    }
    return false;
}

// A control id from a window handle plus the tick count. Control ids are 32-bit wherever the
// system reports them (GetDlgCtrlID, MEASUREITEMSTRUCT, DRAWITEMSTRUCT), so only the handle's low
// 32 bits take part: on 64-bit Windows they are all a window handle has (the system keeps handles
// valid when truncated, for 32-bit processes), so nothing that identifies the window is lost.
// The sum wraps modulo 2^32. Ids whose low word is 0 to 9 (the standard command ids a dialog acts
// on) or that a sibling already uses are passed over.
UINT ControlIdFrom(HWND handle, HWND parent, HWND except) {
    UINT id = static_cast<UINT>(reinterpret_cast<uintptr_t>(handle)) + static_cast<UINT>(::GetTickCount());
    while (LOWORD(id) <= 9 || static_cast<int>(id) == -1 || LowWordInUse(parent, id, except)) ++id;
    return id;
}

}  // namespace

// --- clValueControl ---------------------------------------------------------------------------

LRESULT XValueList::clValueControl::SubclassCallback(XSubClassCtrl* object, HWND window, UINT message,
                                                     WPARAM wParam, LPARAM lParam, int32_t* handled) {
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && wParam == VK_TAB && list_.parent_) {
        // No dialog manager saw the key (the editor's thread runs a plain message loop): the
        // parent's own loop gets it, so that the focus moves on.
        ::PostMessageW(list_.parent_, message, wParam, lParam);
        return 0;
    }
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        // A single-line edit has no use for them; a combo box uses them to change its choice.
        wchar_t className[16] = {0};
        ::GetClassNameW(window, className, 16);
        if (::lstrcmpiW(className, L"Edit") == 0) {
            int current = list_.CurrentRow();
            list_.MoveSelection(wParam == VK_UP ? current - 1 : current + 1);
            *handled = 1;
            return 0;
        }
    }
    return XSubClassCtrl::SubclassCallback(object, window, message, wParam, lParam, handled);
}

// --- XValueList -----------------------------------------------------------------------------

XValueList::XValueList() : editorControl_(*this) {}

XValueList::~XValueList() { Destroy(); }

void XValueList::OnSelectionChanged(int) {}
void XValueList::OnRowValueChanged(int) {}
void XValueList::OnContextMenu(int, int) {}
void XValueList::OnRowActivated(int) {}

bool XValueList::Create(HWND parent, const RECT& dialogUnits) {
    Destroy();
    if (!parent) return false;
    parent_ = parent;
    int x = DluToPixelsX(dialogUnits.left, parent);
    int y = DluToPixelsY(dialogUnits.top, parent);
    int width = DluToPixelsX(dialogUnits.right - dialogUnits.left, parent);
    int height = DluToPixelsY(dialogUnits.bottom - dialogUnits.top, parent);
    // WM_MEASUREITEM arrives while the list box is being created, before its handle is known:
    // it carries this provisional id, taken from the parent's handle.
    listId_ = ControlIdFrom(parent, parent, nullptr);
    list_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                                  LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT,
                              x, y, width, height, parent, reinterpret_cast<HMENU>(static_cast<uintptr_t>(listId_)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!list_) {
        parent_ = nullptr;
        listId_ = 0;
        return false;
    }
    listId_ = ControlIdFrom(list_, parent, list_);
    ::SetWindowLongPtrW(list_, GWLP_ID, static_cast<LONG_PTR>(listId_));
    if (auto font = reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0))) {
        ::SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Also when the parent passed its WM_MEASUREITEM elsewhere.
    ::SendMessageW(list_, LB_SETITEMHEIGHT, 0, MAKELPARAM(RowHeight(), 0));
    Attach(list_);
    return true;
}

void XValueList::Destroy() {
    RemoveEditor();
    HWND list = list_;
    Detach();
    list_ = nullptr;
    if (list && ::IsWindow(list)) ::DestroyWindow(list);
    rows_.clear();
    parent_ = nullptr;
    listId_ = 0;
}

void XValueList::UsePlainBorder() {
    if (!list_) return;
    LONG_PTR style = ::GetWindowLongPtrW(list_, GWL_STYLE);
    LONG_PTR exStyle = ::GetWindowLongPtrW(list_, GWL_EXSTYLE);
    ::SetWindowLongPtrW(list_, GWL_STYLE, style | WS_BORDER);
    ::SetWindowLongPtrW(list_, GWL_EXSTYLE, exStyle & ~LONG_PTR(WS_EX_CLIENTEDGE));
    ::SetWindowPos(list_, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

namespace {
void CopyImages(IconHandle& to, HICON from) { to = from ? DuplicateIconImage(from) : IconHandle(); }
}  // namespace

void XValueList::SetCheckImages(HICON checked, HICON unchecked, HICON checkedDisabled, HICON uncheckedDisabled) {
    CopyImages(checkImages_.checked, checked);
    CopyImages(checkImages_.unchecked, unchecked);
    CopyImages(checkImages_.checkedDisabled, checkedDisabled);
    CopyImages(checkImages_.uncheckedDisabled, uncheckedDisabled);
}

void XValueList::SetOptionImages(HICON checked, HICON unchecked, HICON checkedDisabled, HICON uncheckedDisabled) {
    CopyImages(optionImages_.checked, checked);
    CopyImages(optionImages_.unchecked, unchecked);
    CopyImages(optionImages_.checkedDisabled, checkedDisabled);
    CopyImages(optionImages_.uncheckedDisabled, uncheckedDisabled);
}

void XValueList::SetColumns(int32_t captionX, int32_t valueX) {
    captionColumn_ = captionX;
    valueColumn_ = valueX;
}

void XValueList::SetTextSizes(int32_t captionSize, int32_t valueSize) {
    captionSize_ = captionSize;
    valueSize_ = valueSize;
}

int32_t XValueList::Scaled(int32_t value) const { return scaling_ ? ScaleForDpi(value) : value; }

int32_t XValueList::RowHeight() const { return std::max(Scaled(rowHeight_), 1); }

int32_t XValueList::ScaledPosition(int32_t stored) const {
    if (!scaling_) return stored;
    return (stored & ~kCoordMagnitudeMask) | (ScaleForDpi(stored & kCoordMagnitudeMask) & kCoordMagnitudeMask);
}

const XValueList::CheckImages* XValueList::ImagesFor(const ValueRow& row) const {
    if (row.kind == RowKind::CheckBox) return &checkImages_;
    if (row.kind == RowKind::Option) return &optionImages_;
    return nullptr;
}

int32_t XValueList::CheckX(const ValueRow& row) const {
    return row.checkX == kListColumn ? Scaled(captionColumn_) : ScaledPosition(row.checkX);
}

int32_t XValueList::CaptionX(const ValueRow& row) const {
    if (row.captionX != kListColumn) return ScaledPosition(row.captionX);
    const CheckImages* images = ImagesFor(row);
    int32_t checkX = CheckX(row);
    if (images && images->checked && !(checkX & ~kCoordMagnitudeMask)) {
        return checkX + IconImageSize(images->checked.Get()).cx + Scaled(kGap);
    }
    return Scaled(captionColumn_);
}

int32_t XValueList::ValueX(const ValueRow& row) const {
    return row.valueX == kListColumn ? Scaled(valueColumn_) : ScaledPosition(row.valueX);
}

void XValueList::BuildDrawing(ValueRow& row) {
    using namespace RowStateBits;
    DrawList& d = row.drawing;
    d.Clear();
    d.AddFill(0, 0, kFullSize, kFullSize, kRowBackground);
    if (row.kind == RowKind::BandHeading) {
        d.AddGradient(0, 0, kFullSize, kFullSize, kRowBackground, kRowBandColor, kRowBackground, kRowBandColor);
    }
    int32_t selection = 0;
    d.AddShape(1, 0, kFullSize, kFullSize, kRowSelectionFill, kRowSelectionBorder, 0, Selected);
    selection = d.LayerCount() - 1;
    d.AddGradient(4, 2, EncodeCoordinate(-3, kCoordContent), EncodeCoordinate(-2, kCoordContent), kRowSelectionTop,
                  kRowSelectionTop, kRowSelectionBottom, kRowSelectionBottom, Selected, selection);

    // Icons and texts share the top layer: a layer paints its icons before its texts.
    int32_t top = 0;
    auto addIcon = [&](HICON icon, int32_t x, uint32_t mask) {
        if (!icon) return;
        d.AddIcon(DuplicateIconImage(icon), x, kCentred, mask, top);
        if (!top) top = d.LayerCount() - 1;
    };
    addIcon(row.icon.Get(), ScaledPosition(row.iconX), 0);
    if (const CheckImages* images = ImagesFor(row)) {
        int32_t x = CheckX(row);
        addIcon(images->checked.Get(), x, Checked | (images->checkedDisabled ? Enabled : 0));
        addIcon(images->unchecked.Get(), x, Unchecked | (images->uncheckedDisabled ? Enabled : 0));
        addIcon(images->checkedDisabled.Get(), x, Checked | Disabled);
        addIcon(images->uncheckedDisabled.Get(), x, Unchecked | Disabled);
    }

    int clientWidth = 0;
    if (list_) {
        RECT client;
        ::GetClientRect(list_, &client);
        clientWidth = client.right;
    }
    bool hasValue = IsEditorKind(row.kind) || ((row.kind == RowKind::Heading || row.kind == RowKind::BandHeading) &&
                                               !row.value.Empty());
    int32_t captionX = CaptionX(row);
    int32_t valueX = ValueX(row);
    // Texts that would run into the next column or out of the row end in "...".
    auto room = [&](int32_t from, int32_t to) -> int32_t {
        if ((from & ~kCoordMagnitudeMask) || (to & ~kCoordMagnitudeMask) || to <= 0) return 0;
        return std::max(to - from - Scaled(kGap), 1);
    };
    auto addText = [&](int32_t x, const WString& text, TextStyle style, uint32_t mask) {
        if (text.Empty()) return;
        d.AddText(x, kCentred, text, style, mask | Enabled, top);
        if (!top) top = d.LayerCount() - 1;
        style.color = kRowDisabledText;
        d.AddText(x, kCentred, text, style, mask | Disabled, top);
    };

    TextStyle caption;
    caption.size = Scaled(captionSize_);
    caption.color = row.kind == RowKind::Link ? kRowLinkColor : row.textColor;
    caption.bold = row.bold || row.kind == RowKind::Heading || row.kind == RowKind::BandHeading;
    caption.italic = row.italic;
    caption.underline = row.underline || row.kind == RowKind::Link;
    caption.maxWidth = room(captionX, hasValue ? valueX : clientWidth);
    addText(captionX, row.caption, caption, 0);

    if (hasValue) {
        TextStyle value = caption;
        value.size = Scaled(valueSize_);
        value.color = row.textColor;
        value.bold = row.bold;
        value.underline = row.underline;
        value.maxWidth = room(valueX, clientWidth);
        if (IsEditorKind(row.kind)) {
            // Outside the current row; there the editor stands over the value.
            WString shown(L"[ ");
            shown += ShownValue(row.value);
            shown += L" ]";
            addText(valueX, shown, value, NotEditing);
        } else {
            addText(valueX, ShownValue(row.value), value, 0);
        }
    }
}

int XValueList::AddRow(ValueRow row) {
    auto owned = std::make_unique<ValueRow>(std::move(row));
    BuildDrawing(*owned);
    if (list_) {
        LRESULT added = ::SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(owned->caption.c_str()));
        if (added == LB_ERR || added == LB_ERRSPACE) return -1;
    }
    rows_.push_back(std::move(owned));
    return int(rows_.size()) - 1;
}

const ValueRow* XValueList::Row(int index) const {
    return index >= 0 && index < int(rows_.size()) ? rows_[size_t(index)].get() : nullptr;
}

ValueRow* XValueList::MutableRow(int index) {
    return index >= 0 && index < int(rows_.size()) ? rows_[size_t(index)].get() : nullptr;
}

bool XValueList::IsChecked(int index) const {
    const ValueRow* row = Row(index);
    return row && IsCheckKind(row->kind) && ParseInteger(row->value) != 0;
}

void XValueList::SetChecked(int index, bool checked) {
    ValueRow* row = MutableRow(index);
    if (!row) return;
    row->value = checked ? L"1" : L"0";
    InvalidateRow(index);
}

void XValueList::SetDisabled(int index, bool disabled) {
    ValueRow* row = MutableRow(index);
    if (!row || row->disabled == disabled) return;
    row->disabled = disabled;
    if (index == editorRow_ && disabled) RemoveEditor();
    InvalidateRow(index);
    if (index == CurrentRow() && !disabled) PlaceEditor();
}

bool XValueList::IsDisabled(int index) const {
    const ValueRow* row = Row(index);
    return row && row->disabled;
}

void XValueList::SetValue(int index, const WString& value) {
    ValueRow* row = MutableRow(index);
    if (!row) return;
    row->value = value;
    BuildDrawing(*row);
    if (index == editorRow_ && editor_) {
        // Shown again from the row, without reporting it as the user's change.
        RemoveEditor();
        PlaceEditor();
    }
    InvalidateRow(index);
}

WString XValueList::Value(int index) const {
    const ValueRow* row = Row(index);
    return row ? row->value : WString();
}

void XValueList::Repaint() {
    if (list_) ::InvalidateRect(list_, nullptr, FALSE);
}

void XValueList::InvalidateRow(int index) {
    if (!list_ || index < 0) return;
    RECT rect;
    if (::SendMessageW(list_, LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&rect)) != LB_ERR) {
        ::InvalidateRect(list_, &rect, FALSE);
    }
}

int XValueList::CurrentRow() const {
    if (!list_) return -1;
    LRESULT current = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return current == LB_ERR ? -1 : int(current);
}

void XValueList::SelectRow(int index) {
    if (!list_) return;
    if (index < 0 || index >= RowCount()) index = -1;
    ::SendMessageW(list_, LB_SETCURSEL, WPARAM(index), 0);
    PlaceEditor();
    OnSelectionChanged(index);
}

void XValueList::MoveSelection(int index) {
    if (rows_.empty()) return;
    index = std::clamp(index, 0, RowCount() - 1);
    if (index == CurrentRow()) return;
    SelectRow(index);
}

int XValueList::PageRows() const {
    if (!list_) return 1;
    RECT client;
    ::GetClientRect(list_, &client);
    return std::max(int(client.bottom / RowHeight()), 1);
}

uint32_t XValueList::RowState(int index, UINT itemState) const {
    using namespace RowStateBits;
    const ValueRow* row = Row(index);
    if (!row) return 0;
    uint32_t state = row->disabled ? Disabled : Enabled;
    state |= (itemState & ODS_SELECTED) ? Selected : NotSelected;
    state |= (itemState & ODS_FOCUS) ? Focused : NotFocused;
    if (IsCheckKind(row->kind)) state |= IsChecked(index) ? Checked : Unchecked;
    state |= (editor_ && editorRow_ == index) ? Editing : NotEditing;
    return state;
}

void XValueList::PaintRow(HDC dc, const RECT& rect, int index, UINT itemState) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (!dc || width <= 0 || height <= 0) return;
    ValueRow* row = MutableRow(index);
    if (!row) {
        SolidBrush white(kRowBackground);
        ::FillRect(dc, &rect, white.Handle());
        return;
    }
    if (work_.Width() < width || work_.Height() < height) {
        if (!work_.CreateBlank(std::max(width, work_.Width()), std::max(height, work_.Height()), dc)) return;
    }
    row->drawing.SetMinimumSize(width, height);
    row->drawing.SetState(RowState(index, itemState));
    row->drawing.Paint(work_.Dc(), 0, 0);
    work_.Blit(dc, rect.left, rect.top, width, height);
}

void XValueList::NotifyChanged(int index) {
    const ValueRow* row = Row(index);
    if (!row) return;
    // A copy: the callback may change the rows.
    RowCallback callback = row->onChange;
    if (callback) callback(*this, index);
    OnRowValueChanged(index);
}

void XValueList::UserCheck(int index) {
    ValueRow* row = MutableRow(index);
    if (!row || row->disabled || !IsCheckKind(row->kind)) return;
    if (row->kind == RowKind::Option && IsChecked(index)) return;
    row->value = (row->kind == RowKind::CheckBox && IsChecked(index)) ? L"0" : L"1";
    InvalidateRow(index);
    NotifyChanged(index);
}

void XValueList::HandleClick(LPARAM listPoint) {
    LRESULT hit = ::SendMessageW(list_, LB_ITEMFROMPOINT, 0, listPoint);
    if (HIWORD(hit)) return;
    int index = LOWORD(hit);
    ValueRow* row = MutableRow(index);
    if (!row || row->disabled || !IsCheckKind(row->kind)) return;
    RECT rect;
    if (::SendMessageW(list_, LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&rect)) == LB_ERR) return;
    POINT point = {GET_X_LPARAM(listPoint), GET_Y_LPARAM(listPoint)};
    // LB_ITEMFROMPOINT answers the nearest row also below the last one.
    if (!::PtInRect(&rect, point)) return;
    if (row->kind == RowKind::CheckBox) {
        const CheckImages* images = ImagesFor(*row);
        int32_t imageWidth = images->checked ? IconImageSize(images->checked.Get()).cx : 0;
        if (row->drawing.Dirty()) row->drawing.Measure();
        int32_t left = rect.left + ResolveCoordinate(CheckX(*row), row->drawing, true, 0, imageWidth);
        if (point.x < left || point.x >= left + imageWidth) return;
    }
    UserCheck(index);
}

void XValueList::HandleCommand(int notification) {
    int index = CurrentRow();
    if (notification == LBN_DBLCLK) {
        const ValueRow* row = Row(index);
        if (row && row->kind == RowKind::Link && !row->disabled && !row->value.Empty()) {
            ::ShellExecuteW(parent_, nullptr, row->value.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            ::MessageBeep(0);
        }
        if (index >= 0) OnRowActivated(index);
    } else if (notification == LBN_SELCHANGE) {
        PlaceEditor();
        OnSelectionChanged(index);
    }
}

LRESULT XValueList::FilterParentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) {
    if (!list_ && message != WM_MEASUREITEM) return 0;
    if (busy_ && message != WM_DRAWITEM) return 0;
    switch (message) {
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (!measure || measure->CtlType != ODT_LISTBOX || measure->CtlID != listId_ || !listId_) return 0;
        measure->itemHeight = UINT(RowHeight());
        *handled = 1;
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (!draw || draw->hwndItem != list_) return 0;
        BusyScope busy(busy_);
        PaintRow(draw->hDC, draw->rcItem, static_cast<int>(draw->itemID), draw->itemState);
        *handled = 1;
        return TRUE;
    }
    case WM_COMMAND:
        // By handle: the id in wParam has lost its upper 16 bits.
        if (reinterpret_cast<HWND>(lParam) != list_) return 0;
        {
            BusyScope busy(busy_);
            *handled = 1;
            HandleCommand(HIWORD(wParam));
        }
        return 0;
    case WM_PARENTNOTIFY: {
        if (LOWORD(wParam) != WM_LBUTTONDOWN) return 0;
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::MapWindowPoints(window, list_, &point, 1);
        RECT client;
        ::GetClientRect(list_, &client);
        if (!::PtInRect(&client, point)) return 0;
        BusyScope busy(busy_);
        *handled = 1;
        HandleClick(MAKELPARAM(point.x, point.y));
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT XValueList::SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     int32_t* handled) {
    if (window != list_) return XSubClassCtrl::SubclassCallback(object, window, message, wParam, lParam, handled);
    int current = CurrentRow();
    switch (message) {
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_TAB:
            // The list box wants its keys (LBS_WANTKEYBOARDINPUT), so a Tab that reaches it has
            // passed no dialog manager: the parent's loop gets it to move the focus on.
            ::PostMessageW(parent_, WM_KEYDOWN, wParam, lParam);
            return 0;
        case VK_SPACE:
            UserCheck(current);
            *handled = 1;
            return 0;
        case VK_UP:
            MoveSelection(current < 0 ? 0 : current - 1);
            *handled = 1;
            return 0;
        case VK_DOWN:
            MoveSelection(current + 1);
            *handled = 1;
            return 0;
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_LEFT:
        case VK_RIGHT:
            // Page and end keys act on key-up.
            *handled = 1;
            return 0;
        default:
            return 0;
        }
    case WM_KEYUP:
        switch (wParam) {
        case VK_TAB:
            ::PostMessageW(parent_, WM_KEYUP, wParam, lParam);
            return 0;
        case VK_PRIOR:
            MoveSelection(current < 0 ? 0 : current - PageRows());
            break;
        case VK_NEXT:
            MoveSelection(current + PageRows());
            break;
        case VK_END:
            MoveSelection(RowCount() - 1);
            break;
        case VK_HOME:
            MoveSelection(0);
            break;
        default:
            return 0;
        }
        *handled = 1;
        return 0;
    case WM_CHAR:
        // Space toggles; it must not also start the list box's search by first letter.
        if (wParam == L' ') *handled = 1;
        return 0;
    case WM_COMMAND: {
        auto from = reinterpret_cast<HWND>(lParam);
        if (editor_ && from == editor_) {
            *handled = 1;
            EditorChanged(HIWORD(wParam));
        } else if (editorButton_ && from == editorButton_ && HIWORD(wParam) == BN_CLICKED) {
            *handled = 1;
            if (const ValueRow* row = Row(editorRow_)) {
                RowCallback callback = row->onActivate;
                if (callback) callback(*this, editorRow_);
            }
        }
        return 0;
    }
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_SIZE: {
        LRESULT result = ::CallWindowProcW(PreviousProc(), window, message, wParam, lParam);
        *handled = 1;
        PlaceEditor();
        ::InvalidateRect(window, nullptr, FALSE);
        return result;
    }
    case WM_RBUTTONDOWN: {
        LRESULT hit = ::SendMessageW(window, LB_ITEMFROMPOINT, 0, lParam);
        if (!HIWORD(hit) && LOWORD(hit) < RowCount()) {
            ::SetFocus(window);
            if (int(LOWORD(hit)) != current) SelectRow(LOWORD(hit));
        }
        *handled = 1;
        return 0;
    }
    case WM_RBUTTONUP: {
        POINT point;
        ::GetCursorPos(&point);
        *handled = 1;
        OnContextMenu(point.x, point.y);
        return 0;
    }
    case WM_SETFOCUS: {
        auto from = reinterpret_cast<HWND>(wParam);
        if (!editor_ || from == editor_ || from == editorButton_) return 0;
        LRESULT result = ::CallWindowProcW(PreviousProc(), window, message, wParam, lParam);
        *handled = 1;
        ::SetFocus(editor_);
        return result;
    }
    case WM_NCDESTROY:
        // The list box goes with its parent: its children have gone already.
        editorControl_.Detach();
        editor_ = nullptr;
        editorButton_ = nullptr;
        editorRow_ = -1;
        list_ = nullptr;
        return 0;
    default:
        return 0;
    }
}

// --- the editor ---------------------------------------------------------------------------------

void XValueList::RemoveEditor() {
    if (!editor_) return;
    HWND editor = editor_;
    HWND button = editorButton_;
    int row = editorRow_;
    editorControl_.Detach();
    editor_ = nullptr;
    editorButton_ = nullptr;
    editorRow_ = -1;
    HWND focus = ::GetFocus();
    if (list_ && (focus == editor || focus == button || ::IsChild(editor, focus))) ::SetFocus(list_);
    ::DestroyWindow(editor);
    if (button) ::DestroyWindow(button);
    InvalidateRow(row);
}

void XValueList::PlaceEditor() {
    if (!list_) return;
    int index = CurrentRow();
    bool hadFocus = false;
    if (editor_ && editorRow_ != index) {
        HWND focus = ::GetFocus();
        hadFocus = focus == editor_ || ::IsChild(editor_, focus);
        RemoveEditor();
    }
    ValueRow* row = MutableRow(index);
    if (!row || row->disabled || !IsEditorKind(row->kind)) return;

    auto font = static_cast<WPARAM>(::SendMessageW(list_, WM_GETFONT, 0, 0));
    if (!editor_) {
        HINSTANCE module = ::GetModuleHandleW(nullptr);
        fillingEditor_ = true;
        if (row->kind == RowKind::Text) {
            editor_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", row->value.c_str(), WS_CHILD | ES_AUTOHSCROLL, 0, 0,
                                        0, 0, list_, reinterpret_cast<HMENU>(static_cast<uintptr_t>(kEditorId)),
                                        module, nullptr);
        } else {
            DWORD style = WS_CHILD | WS_VSCROLL |
                          (row->kind == RowKind::EditableChoice ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST);
            editor_ = ::CreateWindowExW(0, L"COMBOBOX", L"", style, 0, 0, 0, 0, list_,
                                        reinterpret_cast<HMENU>(static_cast<uintptr_t>(kEditorId)), module, nullptr);
        }
        if (editor_) {
            ::SendMessageW(editor_, WM_SETFONT, font, FALSE);
            if (row->kind == RowKind::Text) {
                ::SendMessageW(editor_, EM_SETSEL, 0, -1);
            } else {
                int selected = 0;
                for (int i = 0; i < row->choices.Count(); ++i) {
                    ::SendMessageW(editor_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row->choices.At(i).c_str()));
                    if (row->choices.At(i) == row->value) selected = i;
                }
                if (row->kind == RowKind::FixedChoice) {
                    ::SendMessageW(editor_, CB_SETCURSEL, WPARAM(selected), 0);
                } else {
                    ::SetWindowTextW(editor_, row->value.c_str());
                }
            }
            if (!row->buttonText.Empty()) {
                editorButton_ = ::CreateWindowExW(
                    0, L"BUTTON", row->buttonText.c_str(), WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, list_,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(kEditorButtonId)), module, nullptr);
                if (editorButton_) ::SendMessageW(editorButton_, WM_SETFONT, font, FALSE);
            }
            editorControl_.Attach(editor_);
            editorRow_ = index;
            InvalidateRow(index);
        }
        fillingEditor_ = false;
        if (!editor_) return;
    }

    RECT item;
    RECT client;
    ::GetClientRect(list_, &client);
    bool visible = ::SendMessageW(list_, LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&item)) != LB_ERR &&
                   item.bottom > client.top && item.top < client.bottom;
    if (!visible) {
        ::ShowWindow(editor_, SW_HIDE);
        if (editorButton_) ::ShowWindow(editorButton_, SW_HIDE);
        return;
    }
    int32_t valueX = ValueX(*row);
    int x = item.left + ((valueX & ~kCoordMagnitudeMask) ? Scaled(valueColumn_) : valueX);
    int buttonWidth = editorButton_ ? Scaled(kButtonWidth) : 0;
    int right = client.right - (editorButton_ ? buttonWidth + Scaled(kGap) : 0);
    int height = item.bottom - item.top;
    int editorHeight = row->kind == RowKind::Text ? height : Scaled(kComboHeight);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;
    ::SetWindowPos(editor_, nullptr, x, item.top, std::max(right - x, 1), editorHeight, flags);
    if (editorButton_) ::SetWindowPos(editorButton_, nullptr, right + Scaled(kGap), item.top, buttonWidth, height, flags);
    if (hadFocus) ::SetFocus(editor_);
}

void XValueList::EditorChanged(int notification) {
    if (fillingEditor_ || !editor_) return;
    ValueRow* row = MutableRow(editorRow_);
    if (!row) return;
    if (notification == EN_CHANGE || notification == CBN_EDITCHANGE) {
        row->value = WindowTextOf(editor_);
    } else if (notification == CBN_SELCHANGE) {
        LRESULT selected = ::SendMessageW(editor_, CB_GETCURSEL, 0, 0);
        if (selected == CB_ERR) return;
        LRESULT length = ::SendMessageW(editor_, CB_GETLBTEXTLEN, WPARAM(selected), 0);
        if (length == CB_ERR) return;
        std::vector<wchar_t> text(size_t(length) + 1, L'\0');
        ::SendMessageW(editor_, CB_GETLBTEXT, WPARAM(selected), reinterpret_cast<LPARAM>(text.data()));
        row->value = WString(text.data());
    } else {
        return;
    }
    BuildDrawing(*row);
    NotifyChanged(editorRow_);
}

}  // namespace tarvo
