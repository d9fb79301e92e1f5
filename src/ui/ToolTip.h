#pragma once
// Tooltips: a small owner-drawn tip that opens next to a target window once the cursor has rested
// on it, stays for a while, fades out and hides. Tips are not driven by window messages: one
// process-wide worker thread, the tooltip tracker, polls the cursor every 50 ms and advances
// every registered tip. The tip windows therefore belong to the tracker's thread, which
// dispatches their messages after each poll.
#include "base/Sync.h"
#include "base/Text.h"
#include "base/Win.h"
#include "base/WorkerThread.h"
#include "ui/DrawList.h"
#include "ui/Window.h"

#include <atomic>
#include <cstdint>

namespace tarvo {

// How often the tracker polls the cursor.
constexpr DWORD kTooltipPollMs = 50;
// Defaults for a delay or duration of 0.
constexpr int32_t kTooltipDefaultDelayMs = 1000;
constexpr int32_t kTooltipDefaultDurationMs = 10000;
// A duration that never ends.
constexpr int32_t kTooltipNoLimit = -1;
// Style 1: a framed window and wider margins.
constexpr int32_t kTooltipFramed = 1;

class XToolTip : public XWindow {
public:
    XToolTip() = default;
    // Leaves the registry first (HideTooltip), so the tracker never sees a destroyed tip.
    ~XToolTip() override;

    // Paints the content under the tooltip lock.
    void OnPaint() override;

    // Builds the content and takes over the settings, without registering the tip (ShowTooltip
    // does both). A delay of 0 means 1000 ms (1 ms for a tip at a fixed position), a duration of
    // 0 means 10000 ms, kTooltipNoLimit keeps the tip until the cursor leaves.
    void Configure(HWND target, const WString& text, HICON icon, const POINT* fixedPosition, int32_t style,
                   int32_t delayMs, int32_t durationMs, bool noFade);
    // Forgets the content and every setting and time.
    void Reset();

    // One poll of the tracker: the cursor at `cursor`, the tick count `now`. Opens, fades or
    // hides the window. Runs with the tooltip lock held.
    void Advance(POINT cursor, DWORD now);

    // Whether the tip's window exists and is visible. Safe from any thread.
    bool TipVisible() const;

    // Without a target, the tip's window is owned by this window.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }
    void SetMinimumSize(int32_t width, int32_t height) {
        minWidth_ = width;
        minHeight_ = height;
    }

    const DrawList& Content() const noexcept { return content_; }
    HWND Target() const noexcept { return target_; }
    HWND TargetParent() const noexcept { return targetParent_; }
    int32_t DelayMs() const noexcept { return delayMs_; }
    int32_t DurationMs() const noexcept { return durationMs_; }
    int32_t Alpha() const noexcept { return alpha_; }
    bool Done() const noexcept { return done_ != 0; }
    DWORD HoverStart() const noexcept { return hoverStart_; }
    DWORD ShowTime() const noexcept { return showTime_; }

private:
    friend bool ShowTooltip(XToolTip&, HWND, const WString&, HICON, const POINT*, int32_t, int32_t, int32_t, bool);
    friend void HideTooltip(XToolTip&);

    bool CursorOver(POINT cursor) const;
    void Open(POINT cursor);
    // Hides and destroys the window: it belongs to the thread that opened it, and the next
    // opening makes a new one anyway.
    void DestroyTipWindow();
    void ApplyAlpha(int32_t alpha);

    DrawList content_;
    HWND target_ = nullptr;
    HWND targetParent_ = nullptr;
    HWND owner_ = nullptr;
    int32_t fixedX_ = 0;
    int32_t fixedY_ = 0;
    bool hasFixedPosition_ = false;
    int32_t style_ = 0;
    int32_t minWidth_ = 0;
    int32_t minHeight_ = 0;
    int32_t delayMs_ = kTooltipDefaultDelayMs;
    int32_t durationMs_ = kTooltipDefaultDurationMs;
    bool noFade_ = false;
    DWORD hoverStart_ = 0;
    DWORD showTime_ = 0;
    int32_t alpha_ = -1;
    uint8_t done_ = 0;
    // Set by HideTooltip on another thread, cleared by the tracker once it has hidden the window.
    std::atomic<uint8_t> closing_{0};
    // Whether the tip is registered.
    bool registered_ = false;
};

// Hides the tip first, builds its content from `text` and the optional icon (copied), takes over
// the settings and registers it, starting the tracker when it is not running. A tip at a fixed
// position without a target then waits (at most 9999 ms) until its window is visible. False when
// the tracker could not be started.
bool ShowTooltip(XToolTip& tip, HWND target, const WString& text, HICON icon = nullptr,
                 const POINT* fixedPosition = nullptr, int32_t style = 0, int32_t delayMs = 0, int32_t durationMs = 0,
                 bool noFade = false);
// Asks the tracker to hide a visible tip (waiting at most 4999 ms), then removes the tip from the
// registry, stops the tracker when no tip is left, and clears the tip. While it waits, messages
// sent to the calling thread are served, so a tracker that sends to it cannot deadlock.
void HideTooltip(XToolTip& tip);

// The registered tips and the tooltip lock, which guards them and every tip's content while it
// is painted or changed.
class TooltipRegistry {
public:
    static MutexLock& Lock();
    static int Count();
    static bool Contains(const XToolTip* tip);
};

// The process-wide thread that advances every registered tip: started with the first tip,
// stopped when the last one leaves; its stop waits without limit.
WorkerThread& TooltipTracker();

}  // namespace tarvo
