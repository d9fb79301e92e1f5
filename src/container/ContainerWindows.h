#pragma once
// The two small status windows of the container run and the launcher: the container window tells
// which installer of how many is running; the waiting window is created hidden while an elevated
// copy runs and stays hidden for the life of the process.
#include "base/Win.h"
#include "container/Container.h"
#include "ui/Window.h"
#include "ui/WizardSurface.h"

#include <cstdint>

namespace tarvo {

// Shared by both windows: the wizards' surface with one line under the header, closing that only
// ends the window, and moving by dragging.
class dlgStatusWindowBase : public XWindow {
public:
    void OnClose() override;
    void OnEraseBackground(HDC dc) override;
    void OnMouseDown(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseUp(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseMove(int x, int y, WPARAM keyState) override;
    HBRUSH OnCtlColorStatic() override;
    HBRUSH OnCtlColorDialog() override;

protected:
    // Shapes the window and paints the background with `line` under the header.
    void PaintSurface(const WString& line);

    WizardSurface surface_;
};

// Shown by the container worker on its own thread while more than one installer runs. Cancel
// and closing only end the window: the installers go on.
class dlgContainerInstall : public dlgStatusWindowBase {
public:
    dlgContainerInstall();
    ~dlgContainerInstall() override;

    void OnInitWindow() override;
    void OnTimer(int32_t timerId, int32_t userValue) override;
    void OnCancel() override;

    // Redraws "Running Install %d of %d" from the current count and index.
    void PaintProgressLine();
    // The index and count that the window shows now (an index of 0 is shown as 1).
    int32_t ShownIndex() const noexcept { return shownIndex_; }
    int32_t ShownCount() const noexcept { return shownCount_; }
    // The progress line as last drawn; empty while the count is 0.
    const WString& ShownLine() const noexcept { return shownLine_; }

private:
    int32_t shownIndex_ = 0;
    int32_t shownCount_ = 0;
    WString shownLine_;
};

// The launcher's hidden window while the elevated copy runs.
class dlgNonElevateWndWithFocus : public dlgStatusWindowBase {
public:
    dlgNonElevateWndWithFocus();
    ~dlgNonElevateWndWithFocus() override;

    void OnInitWindow() override;
};

// Creates the waiting window on the calling thread. It is never shown and never destroyed before
// the process ends.
void ShowWaitingWindow();

// The hooks that let the container run create its window on its worker thread and delete it at
// the end.
ContainerWindowHooks ContainerWindow();

}  // namespace tarvo
