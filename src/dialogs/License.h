#pragma once
// The licence window: the package's terms text ("setup.lic" in the temporary install folder) in
// a read-only box, in the wizards' borderless, rounded, gradient look. The install wizard opens
// it modally from its licence link; it has no influence on the installation.
#include "base/Win.h"
#include "ui/Button.h"
#include "ui/SubclassCtrl.h"
#include "ui/Window.h"
#include "ui/WizardSurface.h"

namespace tarvo {

class dlgLicense : public XWindow {
public:
    // The close button at the top right: ends the window at once, with code 1.
    class _CmdClose : public XButton {
    public:
        void OnClick(bool right) override;
    };

    // The terms box. A multi-line edit control in a dialog answers Escape by closing its dialog;
    // here Escape does nothing wherever the focus is, so the box swallows it.
    class clTermsBox : public XSubClassCtrl {
    public:
        LRESULT SubclassCallback(XSubClassCtrl* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 int32_t* handled) override;
    };

    // Runs the window (template 111) modally, owned by `parent`; returns when it has ended.
    explicit dlgLicense(HWND parent);
    ~dlgLicense() override;

    // 1 after the "Close" button, Enter or the close button; 0 after WM_CLOSE; -1 when the
    // window could not be created.
    INT_PTR EndCode() const noexcept { return endCode_; }

    void OnInitWindow() override;
    void OnDestroy() override;
    void OnEraseBackground(HDC dc) override;
    void OnMouseDown(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseUp(int x, int y, UINT message, WPARAM keyState) override;
    void OnMouseMove(int x, int y, WPARAM keyState) override;
    HBRUSH OnCtlColorStatic() override;
    HBRUSH OnCtlColorDialog() override;
    LRESULT PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) override;
    void OnOK() override;
    void OnClose() override;

private:
    ButtonGroup buttons_;
    _CmdClose closeButton_;
    clTermsBox termsBox_;
    WizardSurface surface_;
    INT_PTR endCode_ = -1;
};

// Shows the licence window over `parent` and returns its end code.
INT_PTR ShowLicenseWindow(HWND parent);

// The terms text of the running package: "setup.lic" of the temporary install folder, read as
// 8-bit text in the ANSI code page. Empty when there is no package, no file or no content.
WString ReadTermsText();

}  // namespace tarvo
