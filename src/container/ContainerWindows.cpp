#include "container/ContainerWindows.h"

#include "base/Text.h"
#include "resources/resource.h"

#include <memory>

namespace tarvo {

namespace {

constexpr int kLineHeight = 30;
constexpr int kLineY = 35;  // dialog units
constexpr int kProgressHeight = 20;
constexpr int kProgressX = 25;  // dialog units

}  // namespace

void dlgStatusWindowBase::PaintSurface(const WString& line) {
    HWND window = WindowHandle();
    surface_.ShapeWindow(window);
    surface_.PaintBackground(window, L"Installer");
    MutexGuard guard(surface_.PaintLock);
    WizardSurface::DrawLine(surface_.BackgroundCanvas, line, ScaleForDpi(kLineHeight), kCentreLine,
                            DluToPixelsY(kLineY, window));
}

void dlgStatusWindowBase::OnClose() { ::EndDialog(WindowHandle(), 0); }

void dlgStatusWindowBase::OnEraseBackground(HDC dc) { surface_.EraseBackground(dc); }

void dlgStatusWindowBase::OnMouseDown(int, int, UINT, WPARAM) { surface_.BeginDrag(WindowHandle()); }

void dlgStatusWindowBase::OnMouseUp(int, int, UINT, WPARAM) { surface_.EndDrag(); }

void dlgStatusWindowBase::OnMouseMove(int, int, WPARAM) { surface_.ContinueDrag(*this); }

HBRUSH dlgStatusWindowBase::OnCtlColorStatic() { return surface_.Brush(); }

HBRUSH dlgStatusWindowBase::OnCtlColorDialog() { return surface_.Brush(); }

dlgContainerInstall::dlgContainerInstall() { CreateFromTemplate(IDD_CONTAINER, nullptr, false); }

dlgContainerInstall::~dlgContainerInstall() {
    // Here rather than in the base destructor, so that the destruction's messages still reach
    // this class.
    DestroyWindowObject();
}

void dlgContainerInstall::OnInitWindow() {
    PaintSurface(L"Processing Installers");
    PaintProgressLine();
    AddTimer();
}

void dlgContainerInstall::PaintProgressLine() {
    // Read once: the worker changes them without a lock.
    int32_t count = ContainerInstallerCount;
    int32_t index = ContainerRunningIndex;
    shownCount_ = count;
    shownIndex_ = index;
    HWND window = WindowHandle();
    WizardSurface::PageScope page(surface_, window);
    if (!page.Drawing()) return;
    shownLine_ = count == 0 ? WString() : FormatText(L"Running Install %d of %d", index == 0 ? 1 : index, count);
    if (shownLine_.Empty()) return;
    RECT client = {};
    ::GetClientRect(window, &client);
    WizardSurface::DrawLine(surface_.PageCanvas, shownLine_, ScaleForDpi(kProgressHeight),
                            DluToPixelsX(kProgressX, window), client.bottom / 2);
}

void dlgContainerInstall::OnTimer(int32_t, int32_t) {
    if (ContainerRunningIndex == shownIndex_ && ContainerInstallerCount == shownCount_) return;
    PaintProgressLine();
    ::InvalidateRect(WindowHandle(), nullptr, TRUE);
}

void dlgContainerInstall::OnCancel() { OnClose(); }

dlgNonElevateWndWithFocus::dlgNonElevateWndWithFocus() { CreateFromTemplate(IDD_WAITING, nullptr, false); }

dlgNonElevateWndWithFocus::~dlgNonElevateWndWithFocus() { DestroyWindowObject(); }

void dlgNonElevateWndWithFocus::OnInitWindow() {
    PaintSurface(L"Processing Installer");
    WizardSurface::PageScope page(surface_, WindowHandle());
}

void ShowWaitingWindow() {
    // Deliberately never deleted: the window lasts as long as the process.
    new dlgNonElevateWndWithFocus();
}

ContainerWindowHooks ContainerWindow() {
    // create and destroy both run on the container worker thread, which owns the window.
    auto window = std::make_shared<std::unique_ptr<dlgContainerInstall>>();
    ContainerWindowHooks hooks;
    hooks.create = [window]() -> HWND {
        *window = std::make_unique<dlgContainerInstall>();
        return (*window)->WindowHandle();
    };
    hooks.destroy = [window]() { window->reset(); };
    return hooks;
}

}  // namespace tarvo
