#include "dialogs/InstallWizard.h"

#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "dialogs/License.h"
#include "install/FilePlacement.h"
#include "install/InstallWorker.h"
#include "install/UninstallRecord.h"
#include "package/SetupPackage.h"
#include "resources/resource.h"
#include "script/Placeholders.h"

#include <commctrl.h>
#include <shlobj.h>

namespace tarvo {

namespace {

// Page texts: heights before ScaleForDpi; positions in dialog units.
constexpr int kTitleSize = 30;
constexpr int kTitleY = 35;
constexpr int kLabelSize = 20;
constexpr int kLabelX = 25;
constexpr int kInstallToY = 102;
constexpr int kTermsY = 157;
constexpr int kSpaceSize = 12;
constexpr int kSpaceRight = 373;
constexpr int kSpaceY = 132;
constexpr int kStatusSize = 14;
constexpr int kStatusY = 106;
constexpr int kStatusBottom = 116;
constexpr int kResultSize = 18;
constexpr int kResultIconX = 25;
constexpr int kResultTextX = 85;
constexpr int kResultGap = 4;
constexpr int kOptionsLift = 15;
constexpr int kProjectLineSize = 18;
constexpr int kProjectLineY = 57;
// The Cancel/Finish button once installing: centred, 54 by 16 dialog units.
constexpr int kCentredButtonHalf = 27;
constexpr int kCentredButtonY = 211;
constexpr int kCentredButtonWidth = 54;
constexpr int kCentredButtonHeight = 16;
WString StripTrailingBackslashes(WString text) {
    while (text.Count() > 0 && text.At(text.Count()) == L'\\') text.RemoveLast(1);
    return text;
}

int DrawText(HDC dc, const WString& text, int size, int x, int y) {
    TextFont font;
    if (!font.Create(L"Tahoma", dc, ScaleForDpi(size))) return 0;
    font.SetTransparent(true);
    int width = font.MeasureWidth(text, false);
    if (x == kCentreLine) {
        BITMAP info = {};
        HBITMAP bitmap = HBITMAP(::GetCurrentObject(dc, OBJ_BITMAP));
        if (bitmap && ::GetObjectW(bitmap, sizeof(info), &info)) x = (info.bmWidth - width) / 2;
        else x = 0;
    }
    font.Draw(text, x, y, false);
    return width;
}

}  // namespace

WString SpaceLine(int64_t installSizeKB, int64_t freeMB) {
    int64_t required = installSizeKB / 1024;
    if (required < 1) required = 1;
    int64_t shown = freeMB;
    const wchar_t* unit = L"MB";
    if (freeMB > 4000 && freeMB / 1024 > required) {
        shown = freeMB / 1024;
        unit = L"GB";
    }
    return FormatText(L"%lld MB Required, %lld %s Free", static_cast<long long>(required),
                      static_cast<long long>(shown), unit);
}

WString ChosenInstallFolder(const WString& chosen, const WString& defaultFolder) {
    WString folder = chosen;
    if (folder.Count() == 0 || folder.At(folder.Count()) != L'\\') folder += L'\\';
    WString trimmed = StripTrailingBackslashes(defaultFolder);
    int slash = trimmed.FindLast(L'\\');
    if (slash == 0) return folder;
    WString last = trimmed.From(slash + 1);
    if (last.Count() > 0 && last.At(1) == L'<') return folder;
    folder += last;
    folder += L'\\';
    return folder;
}

void dlgInstall::_CmdClose::OnClick(bool) { wizard_.closeRequested_ = true; }

dlgInstall::dlgInstall(const WString& commandLine) : commandLine_(commandLine) {
    {
        MutexGuard guard(ProgressLock);
        ShownStatusText = WString();
    }
    CreateFromTemplate(IDD_INSTALL, nullptr, true);
}

dlgInstall::~dlgInstall() {
    installWorker_.Stop();
    finishWorker_.Stop();
    // Here rather than in the base destructor, so that OnDestroy still reaches this class.
    DestroyWindowObject();
}

void dlgInstall::EndDialog() {
    endedBySettings_ = true;
    if (WindowHandle()) ::EndDialog(WindowHandle(), 0);
}

void dlgInstall::UpdateFolder() {
    ExpandPlaceholders(DestinationFolder);
    if (WindowHandle()) ::SetDlgItemTextW(WindowHandle(), IDC_FOLDER, DestinationFolder.c_str());
    ReadFreeSpace();
}

void dlgInstall::ReadFreeSpace() {
    if (DestinationFolder.Count() < 1) return;
    wchar_t root[4] = {DestinationFolder.At(1), L':', L'\\', 0};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    // A drive whose free space cannot be read keeps the figure shown before.
    if (!::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return;
    uint64_t bytes = uint64_t(sectorsPerCluster) * bytesPerSector * freeClusters;
    freeMB_ = int64_t(bytes / 1024 / 1024);
}

void dlgInstall::OnInitWindow() {
    HWND window = WindowHandle();
    ReadInstallSettings(*this, commandLine_);
    ::SetWindowTextW(window, InstallerCaption.c_str());
    surface_.ShapeWindow(window);
    surface_.PaintBackground(window, L"Installer");
    {
        MutexGuard guard(surface_.PaintLock);
        WString project = ProjectName;
        if (!ProgramVersion.Empty()) project += L" " + ProgramVersion;
        DrawText(surface_.BackgroundCanvas.Dc(), project, kProjectLineSize, kCentreLine,
                 DluToPixelsY(kProjectLineY, window));
    }
    hasTerms_ = CurrentPackage && CurrentPackage->HasTerms();
    if (hasTerms_) ::ShowWindow(ItemHandle(IDC_LICENSE_LINK), SW_SHOW);
    buttons_.Start(window);
    surface_.CreateCloseButton(buttons_, closeButton_, window, this);
    Redraw();
    AddTimer();
    // A failed Windows version test has ended the dialog: nothing may be installed.
    if (SilentMode && !endedBySettings_) StartInstallation();
    ::SetActiveWindow(window);
    ::SetForegroundWindow(window);
}

void dlgInstall::OnDestroy() {
    buttons_.Stop();
    HandledFlag = 0;
}

void dlgInstall::DrawPage() {
    HWND window = WindowHandle();
    WizardSurface::PageScope scope(surface_, window);
    if (!scope.Drawing()) return;
    HDC dc = surface_.PageCanvas.Dc();
    switch (page_) {
        case WizardPage::Ready: {
            DrawText(dc, L"Ready to Install", kTitleSize, kCentreLine, DluToPixelsY(kTitleY, window));
            DrawText(dc, L"Install To", kLabelSize, DluToPixelsX(kLabelX, window), DluToPixelsY(kInstallToY, window));
            if (hasTerms_) {
                DrawText(dc, L"Terms & Conditions", kLabelSize, DluToPixelsX(kLabelX, window),
                         DluToPixelsY(kTermsY, window));
            }
            WString space = SpaceLine(InstallSizeKB, freeMB_);
            TextFont font;
            if (font.Create(L"Tahoma", dc, ScaleForDpi(kSpaceSize))) {
                font.SetTransparent(true);
                int width = font.MeasureWidth(space, false);
                font.Draw(space, DluToPixelsX(kSpaceRight, window) - width, DluToPixelsY(kSpaceY, window), false);
            }
            break;
        }
        case WizardPage::Installing: {
            DrawText(dc, L"Installing", kTitleSize, kCentreLine, DluToPixelsY(kTitleY, window));
            MutexGuard guard(ProgressLock);
            DrawText(dc, ShownStatusText, kStatusSize, DluToPixelsX(kLabelX, window), DluToPixelsY(kStatusY, window));
            break;
        }
        case WizardPage::Finished:
            DrawText(dc, InstallCancelled ? L"Install is Incomplete" : L"Successful Install", kTitleSize, kCentreLine,
                     DluToPixelsY(kTitleY, window));
            DrawFinishedPage(dc);
            break;
        case WizardPage::FinishingActions:
            DrawText(dc, L"Processing Actions", kTitleSize, kCentreLine, DluToPixelsY(kTitleY, window));
            break;
    }
}

void dlgInstall::DrawFinishedPage(HDC dc) {
    HWND window = WindowHandle();
    int centre = WindowHeight() / 2;
    if (hasOptions_) centre -= DluToPixelsY(kOptionsLift, window);
    int size = WizardSurface::ResultIconSize();
    IconHandle icon = LoadIconImage(InstallCancelled ? IDI_FAILURE : IDI_SUCCESS, size);
    if (icon) DrawIconImage(dc, icon.Get(), DluToPixelsX(kResultIconX, window), centre - size / 2);
    TextFont font;
    if (!font.Create(L"Tahoma", dc, ScaleForDpi(kResultSize))) return;
    font.SetTransparent(true);
    int lineHeight = font.LineHeight();
    int x = DluToPixelsX(kResultTextX, window);
    font.Draw(InstallCancelled ? L"Installation was not successful." : L"Installation has completed successfully.", x,
              centre - lineHeight - DluToPixelsX(kResultGap, window), false);
    font.Draw(hasOptions_ ? L"Review and click Finish to exit." : L"Click Finish to exit.", x,
              centre + DluToPixelsX(kResultGap, window), false);
}

void dlgInstall::Redraw() {
    DrawPage();
    ::InvalidateRect(WindowHandle(), nullptr, TRUE);
}

void dlgInstall::OnEraseBackground(HDC dc) { surface_.EraseBackground(dc); }

void dlgInstall::OnSize(int, int, int sizeType) {
    if (sizeType == SIZE_RESTORED && WindowHandle()) DrawPage();
}

void dlgInstall::ChooseFolder() {
    HWND window = WindowHandle();
    BROWSEINFOW browse = {};
    browse.hwndOwner = window;
    browse.lpszTitle = L"Select Installation Folder";
    browse.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
    if (!chosen) return;
    wchar_t path[MAX_PATH] = {0};
    bool named = ::SHGetPathFromIDListW(chosen, path) != FALSE;
    ::CoTaskMemFree(chosen);
    if (!named || !path[0]) return;
    DestinationFolder = ChosenInstallFolder(WString(path), folderCopy_);
    UpdateFolder();
    Redraw();
}

void dlgInstall::StartInstallation() {
    if (page_ != WizardPage::Ready) return;
    HWND window = WindowHandle();
    page_ = WizardPage::Installing;
    installStarted_ = true;
    installWorker_.Start([window](ManualEvent& stop, int32_t) { InstallWorker(stop, window); }, 0,
                         kWorkerStopTimeoutMs);
    for (int id : {IDC_FOLDER, IDC_CHOOSE, IDC_LICENSE_LINK, IDC_INSTALL}) ::ShowWindow(ItemHandle(id), SW_HIDE);
    ::ShowWindow(ItemHandle(IDC_PROGRESS), SW_SHOW);
    ::MoveWindow(ItemHandle(IDC_CANCEL_FINISH), WindowWidth() / 2 - DluToPixelsX(kCentredButtonHalf, window),
                 DluToPixelsY(kCentredButtonY, window), DluToPixelsX(kCentredButtonWidth, window),
                 DluToPixelsY(kCentredButtonHeight, window), TRUE);
    Redraw();
}

void dlgInstall::EnterFinishedPage() {
    HWND window = WindowHandle();
    page_ = WizardPage::Finished;
    ::SetDlgItemTextW(window, IDC_CANCEL_FINISH, L"Finish");
    ::ShowWindow(ItemHandle(IDC_PROGRESS), SW_HIDE);
    ::SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    Redraw();
    if (!InstallCancelled) {
        WriteUninstallRecord();
        installed_ = true;
        if (!OptionalShortcuts.empty() || !OptionalPrograms.empty() || RestartNeeded) {
            hasOptions_ = true;
            for (OptionalShortcut& shortcut : OptionalShortcuts) shortcut.chosen = true;
            for (OptionalProgram& program : OptionalPrograms) program.chosen = true;
            WizardSurface::CreateOptionList(options_, window);
            auto addRow = [this](const WString& caption, int iconId) {
                WizardSurface::AddOptionRow(options_, caption, iconId);
            };
            for (const OptionalShortcut& shortcut : OptionalShortcuts) {
                addRow(L"Create Icon: " + shortcut.caption, IDI_CREATE_ICON);
            }
            for (const OptionalProgram& program : OptionalPrograms) {
                addRow(L"Run Program: " + program.caption, IDI_RUN_PROGRAM);
            }
            if (RestartNeeded) addRow(L"Restart Computer [Required to Finalize Setup]", IDI_RESTART);
            if (SilentMode) StartFinishActions();
            Redraw();
        } else if (SilentMode) {
            OnClose();
        }
    } else if (SilentMode) {
        // Nobody is there to press Finish: a silent run that failed ends with its exit code
        // instead of waiting on the "Install is Incomplete" page for ever.
        OnClose();
    }
    if (::IsWindow(window)) {
        ::SendMessageW(window, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(window, nullptr, TRUE);
    }
}

void dlgInstall::StartFinishActions() {
    HWND window = WindowHandle();
    ::EnableWindow(ItemHandle(IDC_CANCEL_FINISH), FALSE);
    closeButton_.Enable(false);
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    page_ = WizardPage::FinishingActions;
    int row = 0;
    for (OptionalShortcut& shortcut : OptionalShortcuts) shortcut.chosen = options_.IsChecked(row++);
    for (OptionalProgram& program : OptionalPrograms) program.chosen = options_.IsChecked(row++);
    restartChosen_ = RestartNeeded && options_.IsChecked(row);
    // A silent run restarts by itself unless the command line holds the restart back; the exit
    // code then tells the caller that a restart is still needed.
    if (SilentMode && commandLine_.Contains(L"--norestart")) restartChosen_ = false;
    bool restart = restartChosen_;
    finishWorker_.Start([restart, window](ManualEvent&, int32_t) { FinishActions(restart, window); }, 0,
                        kWorkerStopTimeoutMs);
    for (int i = 0; i < options_.RowCount(); ++i) options_.SetDisabled(i, true);
    options_.Repaint();
    Redraw();
}

void dlgInstall::OnTimer(int32_t, int32_t) {
    HWND window = WindowHandle();
    if (page_ == WizardPage::Installing && !installWorker_.IsRunning()) EnterFinishedPage();
    if (!::IsWindow(window)) return;
    if (page_ == WizardPage::FinishingActions) {
        int32_t done = FinishStepsDone;
        for (int32_t i = lastUpdatedRow_; i < done && i < options_.RowCount(); ++i) {
            if (options_.IsChecked(i)) options_.SetDisabled(i, false);
        }
        lastUpdatedRow_ = done;
        options_.Repaint();
        if (!finishWorker_.IsRunning()) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            OnClose();
            return;
        }
    }
    {
        MutexGuard guard(ProgressLock);
        if (page_ == WizardPage::Installing && ProgressChanged) {
            ProgressChanged = false;
            if (ActionCaption != ShownStatusText) {
                ShownStatusText = ActionCaption;
                DrawPage();
                RECT band = {0, DluToPixelsY(kStatusY, window), WindowWidth(), DluToPixelsY(kStatusBottom, window)};
                ::InvalidateRect(window, &band, TRUE);
            }
            int position = ProgressTotal == 0 ? 0 : int(int64_t(ProgressDone) * 100 / ProgressTotal);
            ::SendMessageW(ItemHandle(IDC_PROGRESS), PBM_SETPOS, WPARAM(position), 0);
        }
    }
    if (closeRequested_) {
        closeRequested_ = false;
        OnClose();
    }
}

void dlgInstall::OnClose() {
    HWND window = WindowHandle();
    if (page_ == WizardPage::Installing) {
        if (ShowMessageBox(window, L"Cancel Install?", InstallerCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        // The worker may have ended while the question was up; the user's answer still stands.
        cancelConfirmed_ = true;
        InstallCancelled = true;
        ::EndDialog(window, 0);
        return;
    }
    if (page_ == WizardPage::Finished && hasOptions_) {
        StartFinishActions();
        return;
    }
    // The finish actions run on until they are done: the dialog ends when they have.
    if (page_ == WizardPage::FinishingActions && finishWorker_.IsRunning()) return;
    ::EndDialog(window, 0);
}

void dlgInstall::OnCommand(int id, HWND, int) {
    if (id == IDC_CHOOSE) ChooseFolder();
    else if (id == IDC_INSTALL) StartInstallation();
    else if (id == IDC_CANCEL_FINISH) OnClose();
}

LRESULT dlgInstall::OnNotify(NMHDR* header) {
    if (header && header->idFrom == IDC_LICENSE_LINK && (header->code == NM_CLICK || header->code == NM_RETURN)) {
        ShowLicenseWindow(WindowHandle());
    }
    return 0;
}

void dlgInstall::OnMouseDown(int, int, UINT, WPARAM) { surface_.BeginDrag(WindowHandle()); }

void dlgInstall::OnMouseUp(int, int, UINT, WPARAM) { surface_.EndDrag(); }

void dlgInstall::OnMouseMove(int, int, WPARAM) { surface_.ContinueDrag(*this); }

HBRUSH dlgInstall::OnCtlColorStatic() { return surface_.Brush(); }

HBRUSH dlgInstall::OnCtlColorDialog() { return surface_.Brush(); }

LRESULT dlgInstall::PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) {
    LRESULT result = buttons_.HandleMessage(window, message, wParam, lParam, handled);
    if (*handled) return result;
    return options_.FilterParentMessage(window, message, wParam, lParam, handled);
}

DWORD RunInstallWizard(const WString& commandLine) {
    dlgInstall wizard(commandLine);
    if (wizard.EndedBySettings() && !wizard.InstallStarted()) return kExitFailed;
    if (wizard.CancelConfirmed()) return kExitUserCancelled;
    if (!wizard.InstallStarted()) return kExitUserCancelled;
    switch (InstallStopReason) {
        case InstallStop::Failed:
            return kExitFailed;
        case InstallStop::UserCancelled:
        case InstallStop::Declined:
        case InstallStop::Stopped:
            return kExitUserCancelled;
        case InstallStop::None:
            break;
    }
    if (InstallCancelled) return kExitFailed;
    if (wizard.RestartChosen()) return kExitRestartStarted;
    if (RestartNeeded) return kExitRestartRequired;
    return kExitSuccess;
}

DWORD RunInstallWizard() { return RunInstallWizard(WString(::GetCommandLineW())); }

}  // namespace tarvo
