#pragma once
// The uninstall wizard: asks whether to remove the product, removes it on a worker thread while a
// progress bar follows, and at the end offers a restart of Windows when a file could only be
// scheduled for deletion. In silent mode it starts by itself and ends by itself unless a restart
// is needed.
#include "base/Sync.h"
#include "base/Win.h"
#include "base/WorkerThread.h"
#include "ui/Button.h"
#include "ui/ValueList.h"
#include "ui/Window.h"
#include "ui/WizardSurface.h"

#include <cstdint>

namespace tarvo {

class dlgUnInstall : public XWindow {
public:
    enum Page : int32_t { Ready = 0, Uninstalling = 1, Completed = 2 };

    // The close button at the top right. It only asks: the wizard's timer decides, because the
    // removal may still be running.
    class _CmdClose : public XButton {
    public:
        explicit _CmdClose(dlgUnInstall& dialog) : dialog_(dialog) {}
        void OnClick(bool right) override;

    private:
        dlgUnInstall& dialog_;
    };

    // Runs the wizard (template 123) modally; returns when it has ended. Reads InstallerCaption,
    // ProjectName and DestinationFolder, which the uninstall start-up has set. `commandLine` is
    // the process's whole command line ("--norestart").
    explicit dlgUnInstall(const WString& commandLine);
    ~dlgUnInstall() override;

    int32_t UninstallPage = Ready;
    // Whether closing the completed page asked Windows to restart.
    bool RestartStarted() const noexcept { return restartStarted_; }
    // -1 when the window could not be created.
    INT_PTR EndCode() const noexcept { return endCode_; }

    void PaintPage();

    void OnClose() override;
    void OnInitWindow() override;
    void OnDestroy() override;
    void OnEraseBackground(HDC dc) override;
    void OnMouseDown(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseUp(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseMove(int x, int y, WPARAM keyState) override;
    void OnTimer(int32_t timerId, int32_t userValue) override;
    HBRUSH OnCtlColorStatic() override;
    HBRUSH OnCtlColorDialog() override;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override;
    void OnOK() override;
    void OnCancel() override;

    // For tests: the restart row, and the page as drawn.
    XValueList& RestartList() noexcept { return valueList_; }
    const WizardSurface& Surface() const noexcept { return surface_; }

private:
    void ShowCompletedPage();
    void AddRestartRow();

    ButtonGroup buttons_;
    _CmdClose closeButton_{*this};
    int32_t closeRequested_ = 0;
    WizardSurface surface_;
    WorkerThread worker_;
    XValueList valueList_;
    bool restartStarted_ = false;
    bool noRestart_ = false;
    INT_PTR endCode_ = -1;
};

// Runs the uninstall wizard and returns the process's exit code: 0 when the product was removed,
// 1602 when the user closed the wizard without removing it, 3010 when it was removed but a file
// waits for a restart that was not started, 1641 when the restart was started, 1603 when the
// wizard could not be shown. A silent removal given "--norestart" never stops to offer the
// restart: it ends by itself, and a file left for the restart gives 3010.
DWORD RunUninstallWizard();
DWORD RunUninstallWizard(const WString& commandLine);

}  // namespace tarvo
