#pragma once
// The install wizard: the elevated instance's only window. Ready page (install folder, free
// space, terms link), Installing page (the install worker's progress), Finished page (the
// result and the optional finishing actions as ticked rows), FinishingActions page (the chosen
// rows being carried out). In silent mode it advances by itself.
#include "base/ExitCodes.h"
#include "base/Text.h"
#include "base/Win.h"
#include "base/WorkerThread.h"
#include "script/Settings.h"
#include "ui/Button.h"
#include "ui/ValueList.h"
#include "ui/Window.h"
#include "ui/WizardSurface.h"

#include <cstdint>

namespace tarvo {

enum class WizardPage : int32_t { Ready, Installing, Finished, FinishingActions };

class dlgInstall : public XWindow, public SettingsHost {
public:
    // The close button at the top right. It only raises a flag: the wizard's timer runs OnClose,
    // so that the "Cancel Install?" question is not asked from inside the button's own click.
    class _CmdClose : public XButton {
    public:
        explicit _CmdClose(dlgInstall& wizard) : wizard_(wizard) {}
        void OnClick(bool right) override;

    private:
        dlgInstall& wizard_;
    };

    // Runs the wizard (template 101) modally without a parent; returns when it has ended.
    // `commandLine` is the process's whole command line (folder switches, "--norestart").
    explicit dlgInstall(const WString& commandLine);
    ~dlgInstall() override;

    // What the run came to; read after construction has returned.
    WizardPage Page() const noexcept { return page_; }
    bool InstallStarted() const noexcept { return installStarted_; }
    bool Installed() const noexcept { return installed_; }
    // "Cancel Install?" was answered Yes.
    bool CancelConfirmed() const noexcept { return cancelConfirmed_; }
    // The settings pass ended the dialog (the Windows version test failed).
    bool EndedBySettings() const noexcept { return endedBySettings_; }
    // The finish actions were started with the restart chosen.
    bool RestartChosen() const noexcept { return restartChosen_; }

    // The step caption last drawn on the Installing page; read and written under ProgressLock.
    WString ShownStatusText;

    // SettingsHost
    WString& FolderCopy() override { return folderCopy_; }
    void EndDialog() override;
    void UpdateFolder() override;

    void OnClose() override;
    void OnCommand(int id, HWND control, int notification) override;
    void OnInitWindow() override;
    void OnDestroy() override;
    void OnEraseBackground(HDC dc) override;
    void OnMouseDown(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseUp(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseMove(int x, int y, WPARAM keyState) override;
    LRESULT OnNotify(NMHDR* header) override;
    void OnSize(int width, int height, int sizeType) override;
    void OnTimer(int32_t timerId, int32_t userValue) override;
    HBRUSH OnCtlColorStatic() override;
    HBRUSH OnCtlColorDialog() override;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override;
    // Escape reaches dialogs as command 2; it does nothing here.
    void OnCancel() override {}
    void OnOK() override {}

private:
    void DrawPage();
    void DrawFinishedPage(HDC dc);
    void Redraw();
    void ChooseFolder();
    void StartInstallation();
    void EnterFinishedPage();
    void StartFinishActions();
    void ReadFreeSpace();

    WString commandLine_;
    ButtonGroup buttons_;
    _CmdClose closeButton_{*this};
    WizardSurface surface_;
    XValueList options_;
    WorkerThread installWorker_;
    WorkerThread finishWorker_;
    WString folderCopy_;
    WizardPage page_ = WizardPage::Ready;
    int64_t freeMB_ = 0;
    int32_t lastUpdatedRow_ = 0;
    bool hasOptions_ = false;
    bool installStarted_ = false;
    bool installed_ = false;
    bool closeRequested_ = false;
    bool cancelConfirmed_ = false;
    bool endedBySettings_ = false;
    bool restartChosen_ = false;
    bool hasTerms_ = false;
};

// The text drawn on the Ready page under the folder: "%d MB Required, %d %s Free".
WString SpaceLine(int64_t installSizeKB, int64_t freeMB);

// The install folder after the user chose `chosen` in the folder browser, for the script's
// default folder `defaultFolder` (unexpanded): the default's last component is kept below the
// chosen folder unless it is a placeholder or the default has no backslash.
WString ChosenInstallFolder(const WString& chosen, const WString& defaultFolder);

// Runs the wizard and turns its outcome into the process's exit code: 0 success, 1602 cancelled
// by the user, 1603 failed, 3010 a restart still needed, 1641 the restart was started. A silent
// run restarts Windows by itself when a file was in use, unless `commandLine` holds
// "--norestart".
DWORD RunInstallWizard(const WString& commandLine);
DWORD RunInstallWizard();  // with the process's own command line

}  // namespace tarvo
