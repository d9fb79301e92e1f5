// resources_preview OUT.bmp [100|125|150 [DIALOG-ID]]
//
// Shows a dialog (the install dialog unless another template id is given) the way the wizards
// paint it (white window, grey gradient bands, the
// header ornament composed from its mask and image, the title, the close button) together with
// every skin frame and icon of one DPI set, then saves a screenshot of the window as a BMP. A
// tool for looking at the pictures, not a test: run it under the build tree's Xvfb display.
#include "base/Handle.h"
#include "base/Win.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

using namespace tarvo;

namespace {

int g_set = 100;  // which DPI set of pictures to show
int g_template = IDD_INSTALL;

int Pick(int id100) {
    return id100 + (g_set >= 150 ? 2 : g_set >= 125 ? 1 : 0);
}

int PageIconSize() { return g_set >= 150 ? 112 : g_set >= 125 ? 94 : 75; }
int RowIconSize() { return g_set >= 150 ? 24 : g_set >= 125 ? 20 : 16; }

void Gradient(HDC dc, int top, int bottom, int width, COLORREF from, COLORREF to) {
    TRIVERTEX v[2] = {};
    v[0].x = 0;
    v[0].y = top;
    v[0].Red = static_cast<COLOR16>(GetRValue(from) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(from) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(from) << 8);
    v[1].x = width;
    v[1].y = bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(to) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(to) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(to) << 8);
    GRADIENT_RECT r{0, 1};
    ::GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
}

GdiObject<HBITMAP> LoadBitmapId(int id) {
    return GdiObject<HBITMAP>(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof info, &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

// Draws src (or part of it) onto dc with a raster operation.
void Blit(HDC dc, int x, int y, HBITMAP src, int sx, int sy, int w, int h, DWORD rop) {
    HDC mem = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(mem, src);
    ::BitBlt(dc, x, y, w, h, mem, sx, sy, rop);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
}

void Text(HDC dc, const wchar_t* text, int height, int x, int y, bool centre, int width) {
    GdiObject<HFONT> font(::CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    HGDIOBJ old = ::SelectObject(dc, font.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    if (centre) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &extent);
        x = (width - extent.cx) / 2;
    }
    ::TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
    ::SelectObject(dc, old);
}

void DrawIconId(HDC dc, int id, int size, int x, int y) {
    IconHandle icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
    ::DrawIconEx(dc, x, y, icon.Get(), 0, 0, 0, nullptr, DI_NORMAL);
}

// The close button's output: background, then mask row with SRCAND and image row with SRCPAINT
// for the state column, then once more for the focus column when asked.
void DrawCloseFrame(HDC dc, HBITMAP skin, int x, int y, int column, bool focus) {
    SIZE size = BitmapSize(skin);
    int fw = size.cx / 4, fh = size.cy / 2;
    Blit(dc, x, y, skin, column * fw, fh, fw, fh, SRCAND);
    Blit(dc, x, y, skin, column * fw, 0, fw, fh, SRCPAINT);
    if (focus) {
        Blit(dc, x, y, skin, 3 * fw, fh, fw, fh, SRCAND);
        Blit(dc, x, y, skin, 3 * fw, 0, fw, fh, SRCPAINT);
    }
}

GdiObject<HBITMAP> g_page;
GdiObject<HBRUSH> g_white;

void Paint(HWND dialog) {
    RECT client{};
    ::GetClientRect(dialog, &client);
    const int w = client.right, h = client.bottom;
    HDC screen = ::GetDC(dialog);
    g_page.Reset(::CreateCompatibleBitmap(screen, w, h));
    HDC dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(dialog, screen);
    HGDIOBJ old = ::SelectObject(dc, g_page.Get());

    ::FillRect(dc, &client, g_white.Get());
    Gradient(dc, 0, h / 3, w, RGB(0xF5, 0xF5, 0xF5), RGB(0xFF, 0xFF, 0xFF));
    Gradient(dc, h - h / 3, h, w, RGB(0xFF, 0xFF, 0xFF), RGB(0xF5, 0xF5, 0xF5));

    GdiObject<HBITMAP> mask = LoadBitmapId(Pick(IDB_HEADER_MASK_100));
    GdiObject<HBITMAP> image = LoadBitmapId(Pick(IDB_HEADER_100));
    SIZE ornament = BitmapSize(image.Get());
    Blit(dc, (w - ornament.cx) / 2, 0, mask.Get(), 0, 0, ornament.cx, ornament.cy, SRCAND);
    Blit(dc, (w - ornament.cx) / 2, 0, image.Get(), 0, 0, ornament.cx, ornament.cy, SRCPAINT);
    const int scale = g_set;
    Text(dc, L"Installer", 21 * scale / 100, 0, 2, true, w);

    RECT units{25, 35, 57, 102};
    ::MapDialogRect(dialog, &units);
    Text(dc, L"Ready to Install", 30 * scale / 100, 0, units.top, true, w);
    Text(dc, L"Sample Notes 2.1", 18 * scale / 100, 0, units.right, true, w);
    Text(dc, L"Install To", 20 * scale / 100, units.left, units.bottom, false, w);

    GdiObject<HBITMAP> skin = LoadBitmapId(Pick(IDB_CLOSE_100));
    SIZE skinSize = BitmapSize(skin.Get());
    RECT ten{10, 0, 0, 0};
    ::MapDialogRect(dialog, &ten);
    DrawCloseFrame(dc, skin.Get(), w - ten.left - skinSize.cx / 4 - 2, 1, 0, false);

    // Every state of the close button (normal, pressed, hover, normal + focus, hover + focus),
    // the row icons and the page icons, along the lower part of the window.
    int x = units.left, y = h * 2 / 3 - 10;
    const int step = skinSize.cx / 4 + 6;
    const int states[][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}};
    for (const auto& s : states) {
        DrawCloseFrame(dc, skin.Get(), x, y, s[0], s[1] != 0);
        x += step;
    }
    x += 12;
    const int rows[] = {IDI_CHECKED, IDI_UNCHECKED, IDI_CHECKED_DISABLED, IDI_UNCHECKED_DISABLED,
                        IDI_RUN_PROGRAM, IDI_RESTART, IDI_CREATE_ICON};
    for (int id : rows) {
        DrawIconId(dc, id, RowIconSize(), x, y);
        x += RowIconSize() + 8;
    }
    x = units.left;
    y = h * 2 / 3 + 24;
    for (int id : {IDI_SUCCESS, IDI_FAILURE, IDI_UNINSTALL}) {
        DrawIconId(dc, id, PageIconSize(), x, y);
        x += PageIconSize() + 16;
    }
    for (int size : {16, 20, 24, 32, 48, 64}) {
        DrawIconId(dc, IDI_APP, size, x, y);
        x += size + 8;
    }
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT r{};
            ::GetClientRect(dialog, &r);
            ::SetWindowRgn(dialog, ::CreateRoundRectRgn(0, 0, r.right, r.bottom, 40, 40), TRUE);
            Paint(dialog);
            ::ShowWindow(::GetDlgItem(dialog, IDC_LICENSE_LINK), SW_SHOW);
            ::SetDlgItemTextW(dialog, IDC_FOLDER, L"C:\\Program Files\\Sample Notes\\");
            ::SetDlgItemTextW(dialog, IDC_LICENSE_TEXT, L"Sample terms.\r\n\r\nLine two of the terms.");
            if (g_template == IDD_UNINSTALL) {
                ::ShowWindow(::GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
                ::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 40, 0);
            }
            return TRUE;
        }
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wparam);
            HDC mem = ::CreateCompatibleDC(dc);
            HGDIOBJ old = ::SelectObject(mem, g_page.Get());
            RECT r{};
            ::GetClientRect(dialog, &r);
            ::BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
            ::SelectObject(mem, old);
            ::DeleteDC(mem);
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(g_white.Get());
        default:
            return FALSE;
    }
}

// Saves the screen's pixels under the window as a 24-bit BMP.
bool SaveWindow(HWND window, const wchar_t* path) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    GdiObject<HBITMAP> shot(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HGDIOBJ old = ::SelectObject(mem, shot.Get());
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * h;
    FILE* out = _wfopen(path, L"wb");
    if (!out) return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, stride * h, 1, out);
    std::fclose(out);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: resources_preview OUT.bmp [100|125|150 [DIALOG-ID]]\n", stderr);
        return 2;
    }
    if (argc > 2) g_set = std::wcstol(argv[2], nullptr, 10);
    if (argc > 3) g_template = std::wcstol(argv[3], nullptr, 10);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
    g_white.Reset(::CreateSolidBrush(RGB(255, 255, 255)));
    HWND dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(g_template), nullptr,
                                       PreviewProc, 0);
    if (!dialog) return 1;
    ::ShowWindow(dialog, SW_SHOW);
    const DWORD until = ::GetTickCount() + 1500;
    while (::GetTickCount() < until) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(20);
    }
    const bool saved = SaveWindow(dialog, argv[1]);
    ::DestroyWindow(dialog);
    return saved ? 0 : 1;
}
