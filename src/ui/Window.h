#pragma once
// The window framework: every window of the program is an XWindow. One shared window procedure
// (plain windows) and one shared dialog procedure (dialog templates) find the object that owns
// the window and hand each message to DispatchMessageToWindow, which turns it into a call of one
// virtual operation. Timers, dialog units and screen DPI live here too.
#include "base/Sync.h"
#include "base/Text.h"
#include "base/Win.h"

#include <cstdint>
#include <vector>

namespace tarvo {

class XWindow;

// Passed to MoveWindowTo for a coordinate that keeps its current value.
constexpr int kKeepCoordinate = -12345;

// The period of every window timer.
constexpr UINT kWindowTimerPeriodMs = 250;

struct TimerRecord {
    int32_t id;
    int32_t userValue;
};

LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SharedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Turns one message into a call of the object's virtual operation and returns what the window
// or dialog procedure must return: for a plain window the message result (or DefWindowProcW's),
// for a dialog the handled flag, with the result stored as DWLP_MSGRESULT.
LRESULT DispatchMessageToWindow(XWindow* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Every XWindow that currently owns a window. The lock also guards the class-name counter and is
// held only for a search, an append or a removal, never while a handler runs.
class WindowRegistry {
public:
    static MutexLock& Lock();
    static void Add(XWindow* object);
    // Removes the first entry for `object`; false when there was none.
    static bool Remove(XWindow* object);
    // The object whose window handle is `window`, or null.
    static XWindow* Find(HWND window);
    static bool Contains(const XWindow* object);
    static int Count();
    // The next private class name: "XWnd" and the counter in decimal; the counter then grows.
    static WString NextClassName();
};

class XWindow {
public:
    XWindow();
    // Destroys the window (DestroyWindowObject). The messages of that destruction reach the base
    // operations only, the derived part being gone already: a derived class whose OnDestroy must
    // run calls DestroyWindowObject in its own destructor.
    virtual ~XWindow();

    XWindow(const XWindow&) = delete;
    XWindow& operator=(const XWindow&) = delete;

    // --- virtual operations, in slot order ---------------------------------------------------
    // A handler that wants the system's default processing clears HandledFlag; the base versions
    // below that "clear" do exactly that.
    virtual void OnActivate(HWND otherWindow, int minimized, int state);
    virtual void OnClose();
    virtual void OnContextMenu(HWND window, int x, int y);
    // The base does nothing, so WM_COMMAND counts as handled.
    virtual void OnCommand(int id, HWND control, int notification);
    // WM_CREATE and WM_INITDIALOG; the message is handled whatever the handler does with the flag.
    virtual void OnInitWindow();
    virtual void OnDestroy();
    virtual void OnDeactivate(HWND otherWindow, int minimized);
    virtual void OnDrawItem(HWND itemWindow, int controlId, DRAWITEMSTRUCT* item);
    // Counts as having erased (result 1) while HandledFlag stays set.
    virtual void OnEraseBackground(HDC dc);
    virtual void OnHide(int status);
    virtual void OnKeyDown(int virtualKey, LPARAM keyData);
    virtual void OnKeyUp(int virtualKey, LPARAM keyData);
    virtual void OnChar(int code);
    // WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN; client coordinates.
    virtual void OnMouseDown(int x, int y, UINT message, WPARAM keyState);
    virtual void OnMouseUp(int x, int y, UINT message, WPARAM keyState);
    virtual void OnMouseMove(int x, int y, WPARAM keyState);
    // Screen coordinates.
    virtual void OnMouseWheel(int x, int y, int delta, int keyState);
    virtual void OnMove(int x, int y);
    virtual LRESULT OnNotify(NMHDR* header);
    // Default processing always follows (it validates the window).
    virtual void OnPaint();
    virtual void OnShow(int status);
    virtual void OnSize(int width, int height, int sizeType);
    // Default processing always follows, so system commands keep working.
    virtual void OnSysCommand(int command);
    // Called with the timer lock held.
    virtual void OnTimer(int32_t timerId, int32_t userValue);
    virtual HBRUSH OnCtlColorStatic();
    virtual HBRUSH OnCtlColorDialog();
    // Sees every message before the other operations; setting *handled makes the return value
    // the message's result.
    virtual LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled);
    // WM_COMMAND with notification 0 and the standard ids, before OnCommand.
    virtual void OnOK();           // IDOK 1
    virtual void OnCancel();       // IDCANCEL 2
    virtual void OnAbort();        // IDABORT 3
    virtual void OnCloseCommand(); // IDCLOSE 8
    virtual void OnHelp();         // IDHELP 9
    virtual void OnIgnore();       // IDIGNORE 5
    virtual void OnNo();           // IDNO 7
    virtual void OnRetry();        // IDRETRY 4
    virtual void OnYes();          // IDYES 6

    // --- creation -----------------------------------------------------------------------------
    // Runs the dialog template `templateId` of the program's own module. Modal: returns the
    // dialog's end code after it has closed (-1 when it could not be created). Modeless: 1 when
    // a window was created, else 0.
    INT_PTR CreateFromTemplate(int templateId, HWND parent, bool modal);
    // Registers a private class and creates a plain window at (left, top) of size
    // (right - left, bottom - top). False when no window came into being.
    bool CreateCustomWindow(DWORD style, DWORD exStyle, HWND parent, int left, int top, int right, int bottom);
    // Hides and destroys the window, kills its timers, unregisters the private class and leaves
    // the registry. The object stays usable for a new window.
    void DestroyWindowObject();

    // The 250 ms timer with the next id (largest id in use + 1). Returns the id, or 0 when the
    // system refused the timer or there is no window.
    int32_t AddTimer();

    // --- layout -------------------------------------------------------------------------------
    RECT WindowRect() const;
    int WindowWidth() const;
    int WindowHeight() const;
    // Moves the window to (x, y) in its parent's coordinates (screen coordinates for a top-level
    // window), keeping its size, Z order and activation; kKeepCoordinate keeps that coordinate.
    void MoveWindowTo(int x, int y);
    HWND ItemHandle(int id) const;

    // --- state --------------------------------------------------------------------------------
    HWND WindowHandle() const noexcept { return window_; }
    bool IsDialog() const noexcept { return isDialog_ != 0; }
    // The private class registered by CreateCustomWindow; empty when none.
    const WString& ClassName() const noexcept { return className_; }
    MutexLock& TimerLock() noexcept { return timerLock_; }
    std::vector<TimerRecord> Timers();

    // Set by the dispatcher before a handler runs; a handler that wants default processing
    // clears it.
    int32_t HandledFlag = 0;

private:
    friend LRESULT DispatchMessageToWindow(XWindow*, HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK SharedWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK SharedDialogProc(HWND, UINT, WPARAM, LPARAM);

    // Attaches the object to a window that has just been created.
    void AttachWindow(HWND window, bool isDialog);
    // The window has gone (WM_NCDESTROY): forget it so that a later window that happens to get
    // the same handle is never mistaken for it.
    void ForgetWindow();
    LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    uint8_t isDialog_ = 0;
    WString className_;
    std::vector<TimerRecord> timers_;
    MutexLock timerLock_;
    // How many dispatches of this object are on the stack.
    int dispatchDepth_ = 0;
};

// Dialog units of `window` (a dialog) to pixels: MapDialogRect on a rectangle whose other fields
// are 1. When the window is no dialog, the units come back unchanged.
int DluToPixelsX(int units, HWND window);
int DluToPixelsY(int units, HWND window);

// value × DPI / 96 (integer division), with the screen's horizontal logical pixels read once and
// kept for the life of the process. Callers choose 96, 120 or 144 DPI pictures by comparing
// ScaleForDpi(100) with 125 and 150.
int ScaleForDpi(int value);
// The DPI that ScaleForDpi uses, reading the screen on first use.
int ScreenDpi();
// Replaces the kept DPI (tests, or a caller that knows better); -1 reads the screen again on the
// next use.
void SetScreenDpi(int dpi);

}  // namespace tarvo
