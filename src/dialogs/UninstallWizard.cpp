#include "dialogs/UninstallWizard.h"

#include "base/CommandLine.h"
#include "base/ExitCodes.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "install/Restart.h"
#include "resources/resource.h"
#include "ui/Drawing.h"
#include "uninstall/UninstallWorker.h"

#include <commctrl.h>

namespace tarvo {

namespace {

constexpr int kTitleHeight = 30;
constexpr int kTitleY = 35;         // dialog units
constexpr int kProductHeight = 18;
constexpr int kProductY = 57;       // dialog units
constexpr int kQuestionHeight = 21;
constexpr int kIconX = 25;          // dialog units
constexpr int kQuestionX = 90;      // dialog units
constexpr int kResultX = 85;        // dialog units
constexpr int kResultHeight = 18;
constexpr int kResultGap = 4;       // dialog units
constexpr int kRestartRaise = 15;   // dialog units
constexpr int kButtonWidth = 54;    // dialog units
constexpr int kButtonHeight = 16;   // dialog units
constexpr int kButtonY = 211;       // dialog units

int LineHeight(const BitmapCanvas& canvas, int height) {
    TextFont font;
    if (!canvas.Dc() || !font.Create(kDefaultFaceName, canvas.Dc(), height)) return 0;
    return font.LineHeight();
}

void DrawPageIcon(const BitmapCanvas& canvas, int id, int x, int y) {
    IconHandle icon = LoadIconImage(id, WizardSurface::ResultIconSize());
    if (icon) DrawIconImage(canvas.Dc(), icon.Get(), x, y);
}

}  // namespace

void dlgUnInstall::_CmdClose::OnClick(bool) { dialog_.closeRequested_ = 1; }

dlgUnInstall::dlgUnInstall(const WString& commandLine) {
    noRestart_ = HasText(commandLine, L"--norestart");
    endCode_ = CreateFromTemplate(IDD_UNINSTALL, nullptr, true);
}

dlgUnInstall::~dlgUnInstall() {
    // Here rather than in the base destructor, so that OnDestroy still reaches this class.
    DestroyWindowObject();
    valueList_.Destroy();
    worker_.Stop();
}

void dlgUnInstall::OnInitWindow() {
    HWND window = WindowHandle();
    ::SetWindowTextW(window, InstallerCaption.c_str());
    surface_.ShapeWindow(window);
    surface_.PaintBackground(window, L"Uninstaller");
    {
        MutexGuard guard(surface_.PaintLock);
        WizardSurface::DrawLine(surface_.BackgroundCanvas, ProjectName, ScaleForDpi(kProductHeight), kCentreLine,
                                DluToPixelsY(kProductY, window));
    }
    buttons_.Start(window);
    surface_.CreateCloseButton(buttons_, closeButton_, window, this);
    PaintPage();
    AddTimer();
    if (SilentMode) OnOK();
}

void dlgUnInstall::OnOK() {
    if (UninstallPage != Ready) return;
    HWND window = WindowHandle();
    UninstallPage = Uninstalling;
    worker_.Start([window](ManualEvent&, int32_t) { UninstallWorker(window); }, 0, kWorkerStopTimeoutMs);
    ::ShowWindow(ItemHandle(IDOK), SW_HIDE);
    RECT client = {};
    ::GetClientRect(window, &client);
    HWND cancel = ItemHandle(IDCANCEL);
    ::MoveWindow(cancel, client.right / 2 - DluToPixelsX(kButtonWidth / 2, window), DluToPixelsY(kButtonY, window),
                 DluToPixelsX(kButtonWidth, window), DluToPixelsY(kButtonHeight, window), TRUE);
    ::EnableWindow(cancel, FALSE);
    closeButton_.Enable(false);
    ::ShowWindow(ItemHandle(IDC_PROGRESS), SW_SHOW);
    PaintPage();
    ::InvalidateRect(window, nullptr, TRUE);
}

void dlgUnInstall::OnTimer(int32_t, int32_t) {
    if (UninstallPage == Uninstalling && !worker_.IsRunning()) ShowCompletedPage();
    if (UninstallPage == Uninstalling) {
        MutexGuard guard(ProgressLock);
        if (ProgressChanged) {
            ProgressChanged = false;
            int32_t percent = ProgressTotal == 0 ? 0 : int32_t(int64_t(ProgressDone) * 100 / ProgressTotal);
            ::SendMessageW(ItemHandle(IDC_PROGRESS), PBM_SETPOS, WPARAM(percent), 0);
        }
    }
    if (closeRequested_) {
        closeRequested_ = 0;
        OnClose();
    }
}

void dlgUnInstall::ShowCompletedPage() {
    HWND window = WindowHandle();
    UninstallPage = Completed;
    HWND finish = ItemHandle(IDCANCEL);
    ::SetWindowTextW(finish, L"Finish");
    ::EnableWindow(finish, TRUE);
    closeButton_.Enable(true);
    ::ShowWindow(ItemHandle(IDC_PROGRESS), SW_HIDE);
    // Silent mode stops only to let someone choose the restart; with "--norestart" (the quiet
    // uninstall string of the record) there is nothing to choose, and a deployment tool that
    // started it must not wait on a page that nobody sees.
    bool silentEnd = SilentMode && (!UninstallNeedsRestart || noRestart_);
    if (UninstallNeedsRestart && !(SilentMode && noRestart_)) AddRestartRow();
    PaintPage();
    ::InvalidateRect(window, nullptr, TRUE);
    if (silentEnd) OnClose();
}

void dlgUnInstall::AddRestartRow() {
    if (!WizardSurface::CreateOptionList(valueList_, WindowHandle())) return;
    WizardSurface::AddOptionRow(valueList_, L"Restart Computer [Required to Finalize Uninstall]", IDI_RESTART);
}

void dlgUnInstall::OnClose() {
    if (UninstallPage == Uninstalling) return;
    if (UninstallPage == Completed && UninstallNeedsRestart && valueList_.RowCount() > 0 && valueList_.IsChecked(0)) {
        restartStarted_ = true;
        RestartSystem();
    }
    ::EndDialog(WindowHandle(), 0);
}

void dlgUnInstall::OnCancel() { OnClose(); }

void dlgUnInstall::PaintPage() {
    HWND window = WindowHandle();
    WizardSurface::PageScope page(surface_, window);
    if (!page.Drawing()) return;
    const BitmapCanvas& canvas = surface_.PageCanvas;
    int height = canvas.Height();
    int titleHeight = ScaleForDpi(kTitleHeight);
    int titleY = DluToPixelsY(kTitleY, window);
    int iconSize = WizardSurface::ResultIconSize();
    int iconX = DluToPixelsX(kIconX, window);
    switch (UninstallPage) {
    case Ready: {
        WizardSurface::DrawLine(canvas, L"Ready to Uninstall", titleHeight, kCentreLine, titleY);
        DrawPageIcon(canvas, IDI_UNINSTALL, iconX, height / 2 - iconSize / 2);
        int textHeight = ScaleForDpi(kQuestionHeight);
        WizardSurface::DrawLine(canvas, FormatText(L"Remove %s?", ProjectName.c_str()), textHeight,
                                DluToPixelsX(kQuestionX, window), height / 2 - LineHeight(canvas, textHeight) / 2);
        break;
    }
    case Uninstalling:
        WizardSurface::DrawLine(canvas, L"Uninstalling", titleHeight, kCentreLine, titleY);
        break;
    default: {
        WizardSurface::DrawLine(canvas, L"Uninstall Completed", titleHeight, kCentreLine, titleY);
        int middle = height / 2 - (UninstallNeedsRestart ? DluToPixelsY(kRestartRaise, window) : 0);
        DrawPageIcon(canvas, IDI_SUCCESS, iconX, middle - iconSize / 2);
        int textHeight = ScaleForDpi(kResultHeight);
        int lineHeight = LineHeight(canvas, textHeight);
        int gap = DluToPixelsX(kResultGap, window);
        int textX = DluToPixelsX(kResultX, window);
        WizardSurface::DrawLine(canvas, FormatText(L"%s has been removed successfully.", ProjectName.c_str()),
                                textHeight, textX, middle - lineHeight - gap);
        WizardSurface::DrawLine(canvas,
                                UninstallNeedsRestart ? L"Review and click Finish to exit." : L"Click Finish to exit.",
                                textHeight, textX, middle + gap);
        break;
    }
    }
}

void dlgUnInstall::OnDestroy() {
    buttons_.Stop();
    HandledFlag = 0;
}

void dlgUnInstall::OnEraseBackground(HDC dc) { surface_.EraseBackground(dc); }

void dlgUnInstall::OnMouseDown(int, int, UINT, WPARAM) { surface_.BeginDrag(WindowHandle()); }

void dlgUnInstall::OnMouseUp(int, int, UINT, WPARAM) { surface_.EndDrag(); }

void dlgUnInstall::OnMouseMove(int, int, WPARAM) { surface_.ContinueDrag(*this); }

HBRUSH dlgUnInstall::OnCtlColorStatic() { return surface_.Brush(); }

HBRUSH dlgUnInstall::OnCtlColorDialog() { return surface_.Brush(); }

LRESULT dlgUnInstall::PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) {
    LRESULT result = buttons_.HandleMessage(window, message, wParam, lParam, handled);
    if (*handled) return result;
    result = valueList_.FilterParentMessage(window, message, wParam, lParam, handled);
    if (*handled) return result;
    return 0;
}

DWORD RunUninstallWizard() { return RunUninstallWizard(WString(::GetCommandLineW())); }

DWORD RunUninstallWizard(const WString& commandLine) {
    dlgUnInstall wizard(commandLine);
    if (wizard.EndCode() == -1) return kExitFailed;
    if (wizard.UninstallPage != dlgUnInstall::Completed) return kExitUserCancelled;
    if (wizard.RestartStarted()) return kExitRestartStarted;
    return UninstallNeedsRestart ? kExitRestartNeeded : kExitSuccess;
}

}  // namespace tarvo
