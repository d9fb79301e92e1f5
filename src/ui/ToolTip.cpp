#include "ui/ToolTip.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tarvo {

namespace {

constexpr DWORD kHideWaitMs = 4999;
constexpr DWORD kFixedShowWaitMs = 9999;
constexpr DWORD kLockRetryMs = 10;
constexpr int32_t kMaxFadeMs = 2500;
constexpr COLORREF kTipTopColor = 0xFFFEFE;
constexpr COLORREF kTipBottomColor = 0xF0E5E4;
constexpr COLORREF kTipFrameColor = 0x767676;

struct TooltipState {
    MutexLock lock;
    std::vector<XToolTip*> tips;
    WorkerThread tracker;
};

// Never destroyed: the tracker may still be running when the process ends, and it must never
// find its registry gone.
TooltipState& State() {
    static TooltipState* state = new TooltipState;
    return *state;
}

// The tracker's stop event, on the tracker's thread only: a tip painting there gives up waiting
// for the tooltip lock when the tracker is being stopped by the lock's holder.
thread_local HANDLE trackerStopEvent = nullptr;

// Lets the system deliver messages that other threads send to this one, and nothing else: a
// posted message dispatched here could run a handler of the caller's window re-entrantly.
void ServeSentMessages(DWORD waitMs) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_SENDMESSAGE);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Takes the tooltip lock on a thread other than the tracker's. The tracker may send to this
// thread while it holds the lock (its tip windows are owned by this thread's windows), so sent
// messages are served while the lock is busy.
void LockServingSentMessages(MutexLock& lock) {
    while (!lock.TryLock()) ServeSentMessages(kLockRetryMs);
}

// Waits at most `limitMs` for `done`, serving sent messages meanwhile.
template <typename Condition>
void WaitServingSentMessages(DWORD limitMs, Condition done) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= limitMs) return;
        ServeSentMessages(kTooltipPollMs);
    }
}

void TrackerBody(ManualEvent& stop, int32_t) {
    trackerStopEvent = stop.Handle();
    TooltipState& state = State();
    bool quit = false;
    while (!stop.IsSet()) {
        POINT cursor = {};
        // A busy registry skips one poll; the tracker never waits for the lock.
        if (::GetCursorPos(&cursor) && state.lock.TryLock()) {
            DWORD now = ::GetTickCount();
            for (XToolTip* tip : state.tips) tip->Advance(cursor, now);
            state.lock.Unlock();
        }
        ::WaitForSingleObject(stop.Handle(), kTooltipPollMs);
        // The tip windows belong to this thread: their paint messages are served here.
        quit = false;
        PumpMessages(quit);
    }
    trackerStopEvent = nullptr;
}

bool LockForPaint(MutexLock& lock) {
    if (!trackerStopEvent) {
        LockServingSentMessages(lock);
        return true;
    }
    for (;;) {
        if (lock.TryLock()) return true;
        if (::WaitForSingleObject(trackerStopEvent, kLockRetryMs) == WAIT_OBJECT_0) return false;
    }
}

}  // namespace

// --- TooltipRegistry ------------------------------------------------------------------------

MutexLock& TooltipRegistry::Lock() { return State().lock; }

int TooltipRegistry::Count() {
    TooltipState& state = State();
    LockServingSentMessages(state.lock);
    int count = int(state.tips.size());
    state.lock.Unlock();
    return count;
}

bool TooltipRegistry::Contains(const XToolTip* tip) {
    TooltipState& state = State();
    LockServingSentMessages(state.lock);
    bool found = std::find(state.tips.begin(), state.tips.end(), tip) != state.tips.end();
    state.lock.Unlock();
    return found;
}

WorkerThread& TooltipTracker() { return State().tracker; }

// --- XToolTip -------------------------------------------------------------------------------

XToolTip::~XToolTip() {
    if (registered_) HideTooltip(*this);
}

void XToolTip::OnPaint() {
    HandledFlag = 0;
    HWND window = WindowHandle();
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    if (!dc) return;
    MutexLock& lock = State().lock;
    if (LockForPaint(lock)) {
        content_.Paint(dc, 0, 0);
        lock.Unlock();
    }
    ::EndPaint(window, &paint);
}

void XToolTip::Configure(HWND target, const WString& text, HICON icon, const POINT* fixedPosition, int32_t style,
                         int32_t delayMs, int32_t durationMs, bool noFade) {
    Reset();
    const int32_t whole = EncodeCoordinate(0, kCoordContent);
    const int32_t centred = EncodeCoordinate(0, kCoordHalfContent | kCoordMinusHalfSize);
    content_.AddGradient(0, 0, whole, whole, kTipTopColor, kTipTopColor, kTipBottomColor, kTipBottomColor);
    content_.AddFrame(0, 0, whole, whole, kTipFrameColor);
    int32_t textX = 5;
    if (icon) {
        SIZE size = IconImageSize(icon);
        // A text of several lines starts at the top, and so does its icon.
        int32_t iconY = text.Contains(L"\r") ? 1 : centred;
        content_.AddIcon(DuplicateIconImage(icon), 4, iconY);
        textX = size.cx + 8;
    }
    content_.AddText(textX, centred, text);

    target_ = target;
    targetParent_ = target ? ::GetParent(target) : nullptr;
    hasFixedPosition_ = fixedPosition != nullptr;
    fixedX_ = fixedPosition ? fixedPosition->x : 0;
    fixedY_ = fixedPosition ? fixedPosition->y : 0;
    style_ = style;
    delayMs_ = delayMs != 0 ? delayMs : (hasFixedPosition_ ? 1 : kTooltipDefaultDelayMs);
    durationMs_ = durationMs != 0 ? durationMs : kTooltipDefaultDurationMs;
    noFade_ = noFade;
}

void XToolTip::Reset() {
    content_.Clear();
    content_.SetExtraSize(0, 0);
    content_.SetMinimumSize(0, 0);
    content_.SetState(0);
    target_ = nullptr;
    targetParent_ = nullptr;
    hasFixedPosition_ = false;
    fixedX_ = 0;
    fixedY_ = 0;
    style_ = 0;
    delayMs_ = kTooltipDefaultDelayMs;
    durationMs_ = kTooltipDefaultDurationMs;
    noFade_ = false;
    hoverStart_ = 0;
    showTime_ = 0;
    alpha_ = -1;
    done_ = 0;
    closing_ = 0;
}

bool XToolTip::TipVisible() const {
    MutexLock& lock = State().lock;
    bool onTracker = trackerStopEvent != nullptr;
    if (!onTracker) LockServingSentMessages(lock);
    HWND window = WindowHandle();
    bool visible = window && ::IsWindowVisible(window);
    if (!onTracker) lock.Unlock();
    return visible;
}

bool XToolTip::CursorOver(POINT cursor) const {
    if (target_ && targetParent_) return ::WindowFromPoint(cursor) == target_;
    if (hasFixedPosition_) return true;
    if (!target_) return false;
    RECT rect;
    return ::GetWindowRect(target_, &rect) && ::PtInRect(&rect, cursor);
}

void XToolTip::Advance(POINT cursor, DWORD now) {
    HWND window = WindowHandle();
    bool visible = window && ::IsWindowVisible(window);
    if (closing_) {
        closing_ = 0;
        if (window) DestroyTipWindow();
        return;
    }

    bool over = CursorOver(cursor);
    if (!over) {
        hoverStart_ = 0;
        done_ = 0;
    }

    if (!visible) {
        if (!over || done_) return;
        // 0 marks "not running", so a hover that starts at tick 0 is taken as tick 1.
        if (!hoverStart_) hoverStart_ = now ? now : 1;
        if (now - hoverStart_ > DWORD(delayMs_)) {
            hoverStart_ = 0;
            showTime_ = now;
            Open(cursor);
        }
        return;
    }

    if (!over) {
        DestroyTipWindow();
        return;
    }

    DWORD elapsed = now - showTime_;
    if (durationMs_ != kTooltipNoLimit && durationMs_ > 0 && elapsed > DWORD(durationMs_)) {
        DestroyTipWindow();
        done_ = 1;
        return;
    }
    int32_t alpha = 255;
    bool fades = durationMs_ >= 3 && !noFade_;
    if (fades) {
        int32_t fadeLength = std::min(durationMs_ / 3, kMaxFadeMs);
        int32_t fadeStart = durationMs_ - fadeLength;
        if (int32_t(elapsed) >= fadeStart && fadeLength > 0) {
            alpha = 255 - (int32_t(elapsed) - fadeStart) * 255 / fadeLength;
        }
    }
    // A layered window shows nothing until its alpha is set, so a tip that does not fade gets
    // full opacity once.
    if (alpha != alpha_ && (fades || (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED))) ApplyAlpha(alpha);
}

void XToolTip::Open(POINT cursor) {
    const int32_t margin = style_ == kTooltipFramed ? 8 : 2;
    content_.SetExtraSize(margin, margin + 2);
    content_.SetMinimumSize(minWidth_, minHeight_);
    content_.Measure();
    const int width = content_.ContentWidth();
    const int height = content_.ContentHeight();

    POINT point = hasFixedPosition_ ? POINT{fixedX_, fixedY_} : cursor;
    RECT target = {point.x, point.y, point.x, point.y + 1};
    if (!hasFixedPosition_ && target_) ::GetWindowRect(target_, &target);

    int x = point.x;
    int y = int(target.top) - height - 2;
    if (point.y > target.top + 48) y = point.y - height - 50;
    if (y < 0) {
        int below = int(target.bottom) + 1;
        int nearCursor = point.y + 50;
        y = std::abs(below - point.y) - std::abs(nearCursor - point.y) > 50 ? nearCursor : below;
    }
    RECT desktop;
    if (::GetWindowRect(::GetDesktopWindow(), &desktop) && x + width > desktop.right) x = desktop.right - width;

    DWORD style = WS_POPUP | WS_DISABLED;
    DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    if (style_ == kTooltipFramed) style |= WS_DLGFRAME;
    if (!noFade_) exStyle |= WS_EX_LAYERED;
    HWND owner = target_ ? target_ : owner_;
    if (!CreateCustomWindow(style, exStyle, owner, x, y, x + width, y + height)) return;
    ::ShowWindow(WindowHandle(), SW_SHOWNA);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    alpha_ = -1;
    ::EnableWindow(WindowHandle(), TRUE);
}

void XToolTip::DestroyTipWindow() {
    DestroyWindowObject();
    alpha_ = -1;
}

void XToolTip::ApplyAlpha(int32_t alpha) {
    alpha_ = alpha;
    ::SetLayeredWindowAttributes(WindowHandle(), 0, BYTE(std::clamp(alpha, 0, 255)), LWA_ALPHA);
}

// --- showing and hiding ---------------------------------------------------------------------

bool ShowTooltip(XToolTip& tip, HWND target, const WString& text, HICON icon, const POINT* fixedPosition,
                 int32_t style, int32_t delayMs, int32_t durationMs, bool noFade) {
    HideTooltip(tip);
    TooltipState& state = State();
    LockServingSentMessages(state.lock);
    tip.Configure(target, text, icon, fixedPosition, style, delayMs, durationMs, noFade);
    bool running = state.tracker.IsRunning() || state.tracker.Start(TrackerBody, 0, 0);
    if (running) {
        state.tips.push_back(&tip);
        tip.registered_ = true;
    } else {
        tip.Reset();
    }
    state.lock.Unlock();
    if (running && fixedPosition && !target) WaitServingSentMessages(kFixedShowWaitMs, [&] { return tip.TipVisible(); });
    return running;
}

void HideTooltip(XToolTip& tip) {
    if (tip.TipVisible()) {
        tip.closing_ = 1;
        WaitServingSentMessages(kHideWaitMs, [&] { return !tip.TipVisible(); });
    }
    TooltipState& state = State();
    LockServingSentMessages(state.lock);
    // The tracker has destroyed the window on its own thread. A window of this thread (a tip
    // advanced here) goes now; one of a tracker that did not answer goes when its thread ends.
    if (HWND window = tip.WindowHandle()) {
        if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) tip.DestroyWindowObject();
    }
    tip.done_ = 1;
    auto found = std::find(state.tips.begin(), state.tips.end(), &tip);
    if (found != state.tips.end()) state.tips.erase(found);
    tip.registered_ = false;
    // The tracker never waits for the lock (its painting gives up once the stop is asked), so
    // stopping it while holding the lock cannot deadlock.
    if (state.tips.empty()) state.tracker.Stop();
    tip.Reset();
    state.lock.Unlock();
}

}  // namespace tarvo
