#include "dialogs/License.h"

#include "base/Files.h"
#include "base/Process.h"
#include "package/SetupPackage.h"
#include "resources/resource.h"

#include <climits>

namespace tarvo {

namespace {

constexpr int kLicenseTitleHeight = 26;
constexpr int kLicenseTitleX = 25;  // dialog units
constexpr int kLicenseTitleY = 20;  // dialog units

}  // namespace

WString ReadTermsText() {
    // Without a package there is no temporary install folder: a bare "setup.lic" would name a
    // file of whatever the current folder is.
    WString folder = TempInstallPath();
    if (folder.Empty()) return WString();
    DiskFile file;
    if (!file.Open(folder + L"setup.lic", GENERIC_READ, OPEN_EXISTING, false)) return WString();
    uint64_t size = file.Size();
    if (size == 0 || size > uint64_t(INT_MAX)) return WString();
    ByteBuffer bytes;
    if (!bytes.Resize(size_t(size))) return WString();
    DWORD read = file.Read(DWORD(size), bytes.Data());
    return FromAnsi(reinterpret_cast<const char*>(bytes.Data()), int(read));
}

void dlgLicense::_CmdClose::OnClick(bool) {
    if (Dialog()) ::EndDialog(Dialog(), 1);
}

LRESULT dlgLicense::clTermsBox::SubclassCallback(XSubClassCtrl*, HWND, UINT message, WPARAM wParam, LPARAM,
                                                 int32_t* handled) {
    if ((message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR) && wParam == VK_ESCAPE) *handled = 1;
    return 0;
}

dlgLicense::dlgLicense(HWND parent) { endCode_ = CreateFromTemplate(IDD_LICENSE, parent, true); }

dlgLicense::~dlgLicense() {
    // Here rather than in the base destructor, so that OnDestroy still reaches this class.
    DestroyWindowObject();
}

void dlgLicense::OnInitWindow() {
    HWND window = WindowHandle();
    ::SetWindowTextW(window, InstallerCaption.c_str());
    surface_.ShapeWindow(window);
    surface_.PaintBackground(window, L"Installer");
    {
        MutexGuard guard(surface_.PaintLock);
        WizardSurface::DrawLine(surface_.BackgroundCanvas, L"License", ScaleForDpi(kLicenseTitleHeight),
                                DluToPixelsX(kLicenseTitleX, window), DluToPixelsY(kLicenseTitleY, window));
        surface_.BackgroundCanvas.Blit(surface_.PageCanvas.Dc(), 0, 0);
    }
    ::SetDlgItemTextW(window, IDC_LICENSE_TEXT, ReadTermsText().c_str());
    termsBox_.Attach(ItemHandle(IDC_LICENSE_TEXT));
    buttons_.Start(window);
    surface_.CreateCloseButton(buttons_, closeButton_, window, this);
}

void dlgLicense::OnDestroy() {
    buttons_.Stop();
    HandledFlag = 0;
}

void dlgLicense::OnEraseBackground(HDC dc) { surface_.EraseBackground(dc); }

void dlgLicense::OnMouseDown(int, int, UINT, WPARAM) { surface_.BeginDrag(WindowHandle()); }

void dlgLicense::OnMouseUp(int, int, UINT, WPARAM) { surface_.EndDrag(); }

void dlgLicense::OnMouseMove(int, int, WPARAM) { surface_.ContinueDrag(*this); }

HBRUSH dlgLicense::OnCtlColorStatic() { return surface_.Brush(); }

HBRUSH dlgLicense::OnCtlColorDialog() { return surface_.Brush(); }

LRESULT dlgLicense::PreFilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled) {
    return buttons_.HandleMessage(window, message, wParam, lParam, handled);
}

void dlgLicense::OnOK() { ::EndDialog(WindowHandle(), 1); }

void dlgLicense::OnClose() { ::EndDialog(WindowHandle(), 0); }

INT_PTR ShowLicenseWindow(HWND parent) {
    dlgLicense window(parent);
    return window.EndCode();
}

}  // namespace tarvo
