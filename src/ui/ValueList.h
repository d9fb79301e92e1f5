#pragma once
// XValueList: an owner-drawn list box of typed rows (headings, links, check boxes, options and
// editable values). Each row keeps a DrawList whose items carry RowStateBits masks, so one list
// per row paints every state of the row: selected or not, focused or not, enabled or disabled,
// checked or not.
//
// The list box sends WM_MEASUREITEM, WM_DRAWITEM, its notifications and the mouse presses'
// WM_PARENTNOTIFY to its parent, so the parent dialog hands its messages to FilterParentMessage
// first (from its PreFilterMessage). The list box's own messages (keys, scrolling, focus) reach the
// list through the subclass procedure.
#include "base/Handle.h"
#include "base/Text.h"
#include "base/Win.h"
#include "ui/DrawList.h"
#include "ui/Drawing.h"
#include "ui/SubclassCtrl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tarvo {

class XValueList;

enum class RowKind : int32_t {
    Caption = 1,        // caption only, no value column
    Link = 2,           // blue underlined caption; a double-click opens the value with the shell
    Heading = 3,        // bold caption
    BandHeading = 4,    // bold caption on a gradient band of its own
    Text = 5,           // an EDIT over the value column of the current row
    EditableChoice = 6, // a drop-down COMBOBOX whose text is the value
    FixedChoice = 7,    // a drop-down list COMBOBOX; the choice equal to the value is selected
    CheckBox = 8,       // check image toggled by Space or by a click on the image
    Option = 9,         // like a check box, but a click or Space only sets it
};

// The state a row's DrawList is painted with; an item is drawn when all of its mask's bits are set.
namespace RowStateBits {
constexpr uint32_t Enabled = 1;
constexpr uint32_t Disabled = 2;
constexpr uint32_t Selected = 4;
constexpr uint32_t NotSelected = 8;
constexpr uint32_t Unchecked = 16;  // check-box and option rows only
constexpr uint32_t Checked = 32;
constexpr uint32_t Focused = 64;
constexpr uint32_t NotFocused = 128;
constexpr uint32_t Editing = 256;  // the row's editor is over its value
constexpr uint32_t NotEditing = 512;
}  // namespace RowStateBits

// Colours of the rows.
constexpr COLORREF kRowBackground = RGB(255, 255, 255);
constexpr COLORREF kRowSelectionFill = 0xFFFAEE;
constexpr COLORREF kRowSelectionBorder = 0xEBD8A8;
constexpr COLORREF kRowSelectionTop = 0xF7F4EC;
constexpr COLORREF kRowSelectionBottom = 0xF4EDDB;
constexpr COLORREF kRowBandColor = 0xF5EEDD;
constexpr COLORREF kRowLinkColor = 0xFF0000;
constexpr COLORREF kRowDisabledText = 0xC0C0C0;

// Passed as a row's x position for the list's column: the caption column for captions and check
// images, the value column for values.
constexpr int32_t kListColumn = -1;

using RowCallback = std::function<void(XValueList& list, int row)>;

// One row. As a description handed to AddRow, x positions are unscaled (the list scales them
// unless scaling is off) and may carry the coordinate flags of DrawList above the low 16 bits.
struct ValueRow {
    RowKind kind = RowKind::Caption;
    WString caption;
    int32_t captionX = kListColumn;  // for check rows the default is right of the check image
    // Check-box and option rows: "1" checked, "0" not (any non-zero integer is checked).
    WString value;
    int32_t valueX = kListColumn;
    bool disabled = false;
    IconHandle icon;  // drawn at iconX, vertically centred; the row owns it
    int32_t iconX = 0;
    int32_t checkX = kListColumn;
    COLORREF textColor = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    // Choices of the choice rows.
    StringList choices;
    // Called after the user changed the value (a toggle, a set option, an edit).
    RowCallback onChange;
    // Called by the push button that stands beside the editor of Text and choice rows.
    RowCallback onActivate;
    // Text of that button; empty: the row has no button.
    WString buttonText;
    intptr_t userValue = 0;

    DrawList drawing;
};

class XValueList : public XSubClassCtrl {
public:
    // The editor over the current row's value: an EDIT or a COMBOBOX, a child of the list box.
    class clValueControl : public XSubClassCtrl {
    public:
        explicit clValueControl(XValueList& list) : list_(list) {}
        LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 int32_t* handled) override;

    private:
        XValueList& list_;
    };

    // Where the list box goes when Create is given no rectangle: dialog units of the parent.
    static constexpr RECT kDefaultPlacement = {25, 135, 25 + 348, 135 + 70};

    XValueList();
    // Destroys the list box when it still exists.
    ~XValueList() override;

    // --- virtual operations, in slot order (the destructor is slot 0) -------------------------
    // The list box's messages: keys, scrolling, the right button, focus, the editor's commands.
    LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             int32_t* handled) override;
    // The current row changed (by the user or by SelectRow).
    virtual void OnSelectionChanged(int row);
    // A row's value was changed by the user, after its own change callback.
    virtual void OnRowValueChanged(int row);
    // The right button went up at a screen point.
    virtual void OnContextMenu(int screenX, int screenY);
    // A row was double-clicked (after a link row has been opened).
    virtual void OnRowActivated(int row);

    // --- creation -----------------------------------------------------------------------------
    // A child list box of `parent` placed in the parent's dialog units, with the parent's font,
    // taken over by this object. Destroys an earlier list box and its rows first. False when no
    // list box came into being.
    bool Create(HWND parent, const RECT& dialogUnits = kDefaultPlacement);
    // Destroys the list box, its editor and every row.
    void Destroy();
    // A one-pixel border (WS_BORDER) instead of the sunken client edge.
    void UsePlainBorder();

    // The list keeps copies of the icons. The disabled images are optional; rows added from now
    // on use the images.
    void SetCheckImages(HICON checked, HICON unchecked, HICON checkedDisabled = nullptr,
                        HICON uncheckedDisabled = nullptr);
    void SetOptionImages(HICON checked, HICON unchecked, HICON checkedDisabled = nullptr,
                         HICON uncheckedDisabled = nullptr);

    // Layout, in unscaled pixels; set before adding rows.
    void SetRowHeight(int32_t height) { rowHeight_ = height; }
    void SetColumns(int32_t captionX, int32_t valueX);
    void SetTextSizes(int32_t captionSize, int32_t valueSize);
    // Off: every size and x position is used as given instead of through ScaleForDpi.
    void SetScaling(bool on) { scaling_ = on; }

    // --- rows -----------------------------------------------------------------------------------
    // Appends a row, builds its drawing and adds a list-box item. Returns the row's index, or -1
    // when the list box refused the item.
    int AddRow(ValueRow row);
    int RowCount() const { return int(rows_.size()); }
    // Null for an index out of range.
    const ValueRow* Row(int index) const;

    // Check-box and option rows whose value is a non-zero integer; false for anything else.
    bool IsChecked(int index) const;
    void SetChecked(int index, bool checked);
    void SetDisabled(int index, bool disabled);
    bool IsDisabled(int index) const;
    // Replaces a row's value (an editor over it shows the new value).
    void SetValue(int index, const WString& value);
    WString Value(int index) const;
    void Repaint();

    // The current row (-1 for none); selecting moves the editor and calls OnSelectionChanged.
    int CurrentRow() const;
    void SelectRow(int index);

    // --- the parent's messages ---------------------------------------------------------------
    // Called from the parent's PreFilterMessage. Handles WM_MEASUREITEM, WM_DRAWITEM and
    // WM_COMMAND of the list box and WM_PARENTNOTIFY for a left-button press in it; sets *handled
    // for those. While one is being handled, only WM_DRAWITEM is taken.
    LRESULT FilterParentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled);

    // The state bits row `index` is painted with for the list box's item state (ODS_*).
    uint32_t RowState(int index, UINT itemState) const;
    // Paints row `index` (white for -1 or beyond the rows) into `rect` of `dc`.
    void PaintRow(HDC dc, const RECT& rect, int index, UINT itemState);

    HWND ParentHandle() const noexcept { return parent_; }
    HWND ListHandle() const noexcept { return list_; }
    // The list box's control id: its own handle plus the tick count, in 32 bits (while it is
    // being created, its parent's handle plus the tick count).
    UINT ListId() const noexcept { return listId_; }
    HWND EditorHandle() const noexcept { return editor_; }
    // Pixel sizes in use (after scaling).
    int32_t RowHeight() const;
    int32_t Scaled(int32_t value) const;

private:
    friend class clValueControl;

    struct CheckImages {
        IconHandle checked;
        IconHandle unchecked;
        IconHandle checkedDisabled;
        IconHandle uncheckedDisabled;
    };

    ValueRow* MutableRow(int index);
    // An x position through ScaleForDpi, keeping the flags above the low 16 bits.
    int32_t ScaledPosition(int32_t stored) const;
    int32_t CaptionX(const ValueRow& row) const;
    int32_t CheckX(const ValueRow& row) const;
    int32_t ValueX(const ValueRow& row) const;
    const CheckImages* ImagesFor(const ValueRow& row) const;
    void BuildDrawing(ValueRow& row);
    void InvalidateRow(int index);

    // A user's toggle (check box) or set (option) of an enabled row, with the callbacks.
    void UserCheck(int index);
    void NotifyChanged(int index);
    void HandleClick(LPARAM parentPoint);
    void HandleCommand(int notification);
    void MoveSelection(int index);
    int PageRows() const;

    // The editor of the current row: created for Text and choice rows, moved with its row,
    // destroyed when the row is left.
    void PlaceEditor();
    void RemoveEditor();
    void EditorChanged(int notification);

    HWND parent_ = nullptr;
    HWND list_ = nullptr;
    UINT listId_ = 0;
    std::vector<std::unique_ptr<ValueRow>> rows_;
    CheckImages checkImages_;
    CheckImages optionImages_;
    int32_t rowHeight_ = 21;
    int32_t captionColumn_ = 28;
    int32_t valueColumn_ = 150;
    int32_t captionSize_ = 13;
    int32_t valueSize_ = 13;
    bool scaling_ = true;
    BitmapCanvas work_;
    bool busy_ = false;

    clValueControl editorControl_;
    HWND editor_ = nullptr;
    HWND editorButton_ = nullptr;
    int editorRow_ = -1;
    bool fillingEditor_ = false;
};

}  // namespace tarvo
