// The installer's resources as the windows load them: bitmaps and icons at their sizes and
// depths, the dialog templates with their controls, the manifest and the version record. This
// executable carries the same resources.rc as the installer.
#include "base/Handle.h"
#include "base/Win.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

using namespace tarvo;

namespace {

HMODULE Self() { return ::GetModuleHandleW(nullptr); }

struct Blob {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Blob FindBlob(LPCWSTR type, int id) {
    Blob blob;
    HRSRC found = ::FindResourceW(Self(), MAKEINTRESOURCEW(id), type);
    if (!found) return blob;
    HGLOBAL loaded = ::LoadResource(Self(), found);
    if (!loaded) return blob;
    blob.data = static_cast<const BYTE*>(::LockResource(loaded));
    blob.size = ::SizeofResource(Self(), found);
    return blob;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps

struct BitmapCase {
    int id;
    int width;
    int height;
    int bits;
};

const BitmapCase kBitmaps[] = {
    {IDB_CLOSE_100, 88, 44, 8},        {IDB_CLOSE_125, 112, 56, 8},        {IDB_CLOSE_150, 124, 58, 8},
    {IDB_HEADER_100, 190, 25, 8},      {IDB_HEADER_125, 237, 31, 24},      {IDB_HEADER_150, 355, 46, 24},
    {IDB_HEADER_MASK_100, 190, 25, 8}, {IDB_HEADER_MASK_125, 237, 31, 8}, {IDB_HEADER_MASK_150, 355, 46, 8},
};

// The bitmap's pixels as 0x00RRGGBB, rows top-down.
std::vector<uint32_t> ReadPixels(int id, int* width, int* height) {
    std::vector<uint32_t> pixels;
    GdiObject<HBITMAP> bitmap(static_cast<HBITMAP>(
        ::LoadImageW(Self(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap.Get(), sizeof info, &info)) return pixels;
    *width = info.bmWidth;
    *height = info.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    pixels.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = ::GetDC(nullptr);
    int rows = ::GetDIBits(screen, bitmap.Get(), 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != info.bmHeight) pixels.clear();
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

TEST(ResourceBitmaps, HaveTheirSizesAndColourDepths) {
    for (const auto& c : kBitmaps) {
        SCOPED_TRACE(c.id);
        // The stored header keeps the depth; a bitmap loaded as a DIB section keeps it too.
        Blob raw = FindBlob(RT_BITMAP, c.id);
        ASSERT_GE(raw.size, sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, raw.data, sizeof header);
        EXPECT_EQ(c.width, header.biWidth);
        EXPECT_EQ(c.height, std::abs(header.biHeight));
        EXPECT_EQ(c.bits, header.biBitCount);
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);

        GdiObject<HBITMAP> loaded(static_cast<HBITMAP>(
            ::LoadImageW(Self(), MAKEINTRESOURCEW(c.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        ASSERT_TRUE(loaded);
        DIBSECTION section{};
        ASSERT_EQ(static_cast<int>(sizeof section), ::GetObjectW(loaded.Get(), sizeof section, &section));
        EXPECT_EQ(c.width, section.dsBm.bmWidth);
        EXPECT_EQ(c.height, section.dsBm.bmHeight);
        EXPECT_EQ(c.bits, section.dsBm.bmBitsPixel);

        // As the windows load them: natural size, converted to the screen's format.
        GdiObject<HBITMAP> natural(static_cast<HBITMAP>(
            ::LoadImageW(Self(), MAKEINTRESOURCEW(c.id), IMAGE_BITMAP, 0, 0, 0)));
        ASSERT_TRUE(natural);
        BITMAP plain{};
        ASSERT_NE(0, ::GetObjectW(natural.Get(), sizeof plain, &plain));
        EXPECT_EQ(c.width, plain.bmWidth);
        EXPECT_EQ(c.height, plain.bmHeight);
    }
}

// A masked picture is drawn as mask with SRCAND, then image with SRCPAINT. The mask must be
// pure black and white, and the image black wherever the mask keeps the background, or the
// image would tint the window around the picture.
struct MaskedPart {
    const char* name;
    std::vector<uint32_t> image;
    std::vector<uint32_t> mask;
};

void ExpectComposesCleanly(const MaskedPart& part) {
    SCOPED_TRACE(part.name);
    ASSERT_EQ(part.image.size(), part.mask.size());
    size_t covered = 0, tinted = 0, grey = 0;
    for (size_t i = 0; i < part.mask.size(); ++i) {
        if (part.mask[i] == 0) {
            ++covered;
        } else if (part.mask[i] == 0xFFFFFF) {
            if (part.image[i] != 0) ++tinted;
        } else {
            ++grey;
        }
    }
    EXPECT_EQ(0u, grey) << "mask pixels neither black nor white";
    EXPECT_EQ(0u, tinted) << "image pixels that would tint the background";
    EXPECT_GT(covered, 0u) << "nothing drawn";
    EXPECT_LT(covered, part.mask.size()) << "the picture hides the whole background";
}

TEST(ResourceBitmaps, HeaderOrnamentImageAndMaskCompose) {
    const int pairs[][2] = {{IDB_HEADER_100, IDB_HEADER_MASK_100},
                            {IDB_HEADER_125, IDB_HEADER_MASK_125},
                            {IDB_HEADER_150, IDB_HEADER_MASK_150}};
    for (const auto& pair : pairs) {
        int iw = 0, ih = 0, mw = 0, mh = 0;
        MaskedPart part{"header", ReadPixels(pair[0], &iw, &ih), ReadPixels(pair[1], &mw, &mh)};
        SCOPED_TRACE(pair[0]);
        ASSERT_FALSE(part.image.empty());
        EXPECT_EQ(iw, mw);
        EXPECT_EQ(ih, mh);
        ExpectComposesCleanly(part);
    }
}

TEST(ResourceBitmaps, CloseButtonFramesComposeInEveryColumn) {
    // Four columns (normal, pressed, hover, focus); the upper row is the image, the lower its
    // mask. At 96 DPI the frames are 22 by 22 pixels.
    const char* columns[] = {"normal", "pressed", "hover", "focus"};
    for (int id : {IDB_CLOSE_100, IDB_CLOSE_125, IDB_CLOSE_150}) {
        SCOPED_TRACE(id);
        int w = 0, h = 0;
        std::vector<uint32_t> skin = ReadPixels(id, &w, &h);
        ASSERT_FALSE(skin.empty());
        const int fw = w / 4, fh = h / 2;
        if (id == IDB_CLOSE_100) {
            EXPECT_EQ(22, fw);
            EXPECT_EQ(22, fh);
        }
        std::vector<uint32_t> frames[4];
        for (int column = 0; column < 4; ++column) {
            MaskedPart part{columns[column], {}, {}};
            for (int y = 0; y < fh; ++y) {
                for (int x = 0; x < fw; ++x) {
                    part.image.push_back(skin[static_cast<size_t>(y) * w + column * fw + x]);
                    part.mask.push_back(skin[static_cast<size_t>(y + fh) * w + column * fw + x]);
                }
            }
            ExpectComposesCleanly(part);
            frames[column] = part.image;
        }
        // The states must look different from one another.
        EXPECT_NE(frames[0], frames[1]);
        EXPECT_NE(frames[0], frames[2]);
        EXPECT_NE(frames[1], frames[2]);
    }
}

// ---------------------------------------------------------------------------------------------
// Icons

struct IconCase {
    int id;
    std::set<int> sizes;
};

const std::set<int> kRowSizes = {16, 20, 24};
const std::set<int> kPageSizes = {75, 94, 112};
const IconCase kIcons[] = {
    {IDI_APP, {16, 20, 24, 32, 48, 64, 256}},
    {IDI_CHECKED, kRowSizes},
    {IDI_CHECKED_DISABLED, kRowSizes},
    {IDI_UNCHECKED, kRowSizes},
    {IDI_UNCHECKED_DISABLED, kRowSizes},
    {IDI_RUN_PROGRAM, kRowSizes},
    {IDI_RESTART, kRowSizes},
    {IDI_CREATE_ICON, kRowSizes},
    {IDI_SUCCESS, kPageSizes},
    {IDI_FAILURE, kPageSizes},
    {IDI_UNINSTALL, kPageSizes},
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

std::vector<GroupIconEntry> GroupEntries(int id) {
    std::vector<GroupIconEntry> entries;
    Blob group = FindBlob(RT_GROUP_ICON, id);
    if (group.size < sizeof(GroupIconHeader)) return entries;
    GroupIconHeader header;
    std::memcpy(&header, group.data, sizeof header);
    if (header.type != 1 || group.size < sizeof header + header.count * sizeof(GroupIconEntry)) return entries;
    entries.resize(header.count);
    std::memcpy(entries.data(), group.data + sizeof header, header.count * sizeof(GroupIconEntry));
    return entries;
}

// Counts the transparent and the opaque pixels of one stored icon image (32-bit DIB); a PNG
// image counts as both.
void CountAlpha(const Blob& image, size_t* clear, size_t* solid) {
    static const BYTE kPng[] = {0x89, 'P', 'N', 'G'};
    if (image.size >= 4 && std::memcmp(image.data, kPng, 4) == 0) {
        *clear = *solid = 1;
        return;
    }
    BITMAPINFOHEADER header;
    ASSERT_GE(image.size, sizeof header);
    std::memcpy(&header, image.data, sizeof header);
    ASSERT_EQ(32, header.biBitCount);
    const size_t count = static_cast<size_t>(header.biWidth) * header.biWidth;
    ASSERT_GE(image.size, sizeof header + count * 4);
    for (size_t i = 0; i < count; ++i) {
        BYTE alpha = image.data[sizeof header + i * 4 + 3];
        if (alpha == 0) ++*clear;
        if (alpha == 255) ++*solid;
    }
}

TEST(ResourceIcons, HoldExactlyTheirSizesIn32BitColour) {
    for (const auto& c : kIcons) {
        SCOPED_TRACE(c.id);
        std::set<int> sizes;
        for (const auto& entry : GroupEntries(c.id)) {
            const int size = entry.width ? entry.width : 256;
            SCOPED_TRACE(size);
            EXPECT_EQ(entry.width, entry.height);
            EXPECT_EQ(32, entry.bitCount);
            sizes.insert(size);
            // Not blank and not a plain square: every image has a shape on a clear ground.
            size_t clear = 0, solid = 0;
            CountAlpha(FindBlob(RT_ICON, entry.id), &clear, &solid);
            EXPECT_GT(clear, 0u);
            EXPECT_GT(solid, 0u);
        }
        EXPECT_EQ(c.sizes, sizes);
    }
}

TEST(ResourceIcons, LoadAtEachSize) {
    for (const auto& c : kIcons) {
        for (int size : c.sizes) {
            SCOPED_TRACE(testing::Message() << c.id << " at " << size);
            IconHandle icon(static_cast<HICON>(
                ::LoadImageW(Self(), MAKEINTRESOURCEW(c.id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
            ASSERT_TRUE(icon);
            ICONINFO info{};
            ASSERT_TRUE(::GetIconInfo(icon.Get(), &info));
            GdiObject<HBITMAP> colour(info.hbmColor);
            GdiObject<HBITMAP> mask(info.hbmMask);
            ASSERT_TRUE(colour);
            BITMAP bitmap{};
            ASSERT_NE(0, ::GetObjectW(colour.Get(), sizeof bitmap, &bitmap));
            EXPECT_EQ(size, bitmap.bmWidth);
            EXPECT_EQ(size, bitmap.bmHeight);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Dialog templates

struct ControlCase {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    short x, y, cx, cy;
    bool visible;
    DWORD styleMask;  // these bits of the style must equal styleValue
    DWORD styleValue;
};

struct DialogCase {
    int id;
    short cx, cy;
    bool visible;
    DWORD styleRequired;
    std::vector<ControlCase> controls;
};

constexpr DWORD kButtonKind = BS_TYPEMASK;
constexpr DWORD kEditStyles = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_VSCROLL;
constexpr DWORD kDialogBase = WS_POPUP | WS_SYSMENU | DS_CENTER | DS_SETFONT;

const DialogCase kDialogs[] = {
    {IDD_INSTALL, 399, 238, false, kDialogBase | DS_FIXEDSYS,
     {
         {IDC_PROGRESS, L"msctls_progress32", L"", 25, 116, 348, 14, false, WS_BORDER, WS_BORDER},
         {IDC_INSTALL, L"Button", L"Install", 320, 211, 54, 16, true, kButtonKind, BS_PUSHBUTTON},
         {IDC_CANCEL_FINISH, L"Button", L"Cancel", 263, 211, 54, 16, true, kButtonKind, BS_PUSHBUTTON},
         {IDC_FOLDER, L"Edit", L"", 25, 116, 306, 14, true, kEditStyles, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER},
         {IDC_CHOOSE, L"Button", L"Choose", 331, 116, 42, 15, true, kButtonKind, BS_PUSHBUTTON},
         {IDC_LICENSE_LINK, L"SysLink", L"<a>Read License Agreement</a>", 27, 171, 108, 14, false, 0, 0},
     }},
    {IDD_LICENSE, 399, 268, false, kDialogBase | DS_FIXEDSYS,
     {
         {IDOK, L"Button", L"Close", 175, 243, 50, 14, true, kButtonKind, BS_DEFPUSHBUTTON},
         {IDC_LICENSE_TEXT, L"Edit", L"", 25, 39, 348, 193, true, kEditStyles, kEditStyles},
     }},
    {IDD_CONTAINER, 316, 144, true, kDialogBase,
     {
         {IDCANCEL, L"Button", L"Cancel", 133, 123, 50, 14, true, kButtonKind, BS_PUSHBUTTON},
     }},
    {IDD_UNINSTALL, 399, 238, false, kDialogBase,
     {
         {IDOK, L"Button", L"Uninstall", 320, 211, 54, 16, true, kButtonKind, BS_DEFPUSHBUTTON},
         {IDCANCEL, L"Button", L"Cancel", 263, 211, 54, 16, true, kButtonKind, BS_PUSHBUTTON},
         {IDC_PROGRESS, L"msctls_progress32", L"", 25, 116, 348, 14, false, 0, 0},
     }},
    {IDD_WAITING, 316, 144, false, kDialogBase, {}},
};

// One control as a DLGITEMTEMPLATEEX holds it.
struct StoredControl {
    DWORD id = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className;
    std::wstring text;
};

// A DLGTEMPLATEEX read field by field; ok is false when the data ends early or is not one.
struct StoredDialog {
    bool ok = false;
    DWORD style = 0;
    short cx = 0, cy = 0;
    WORD pointSize = 0;
    std::wstring face;
    std::wstring title;
    std::vector<StoredControl> controls;
};

class TemplateReader {
public:
    explicit TemplateReader(Blob blob) : start_(blob.data), at_(blob.data), end_(blob.data + blob.size) {}

    bool Good() const { return good_; }
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }
    std::wstring Text() {
        std::wstring text;
        for (WORD ch = Word(); good_ && ch != 0; ch = Word()) text.push_back(static_cast<wchar_t>(ch));
        return text;
    }
    // A name or an ordinal: 0 for none, 0xFFFF followed by an ordinal, else a text.
    std::wstring NameOrOrdinal(WORD* ordinal) {
        *ordinal = 0;
        WORD first = Word();
        if (first == 0) return {};
        if (first == 0xFFFF) {
            *ordinal = Word();
            return {};
        }
        std::wstring text(1, static_cast<wchar_t>(first));
        text += Text();
        return text;
    }
    void AlignDword() {
        size_t offset = static_cast<size_t>(at_ - start_);
        at_ = start_ + ((offset + 3) & ~size_t{3});
    }
    void Skip(size_t n) {
        if (static_cast<size_t>(end_ - at_) < n) good_ = false;
        else at_ += n;
    }

private:
    template <typename T>
    T Take() {
        T value{};
        if (!good_ || at_ > end_ || static_cast<size_t>(end_ - at_) < sizeof value) {
            good_ = false;
            return value;
        }
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }

    const BYTE* start_;
    const BYTE* at_;
    const BYTE* end_;
    bool good_ = true;
};

std::wstring PredefinedClass(WORD atom) {
    switch (atom) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        case 0x83: return L"ListBox";
        case 0x84: return L"ScrollBar";
        case 0x85: return L"ComboBox";
        default: return L"#" + std::to_wstring(atom);
    }
}

StoredDialog ReadDialog(int id) {
    StoredDialog dialog;
    Blob blob = FindBlob(RT_DIALOG, id);
    if (!blob.data) return dialog;
    TemplateReader r(blob);
    if (r.Word() != 1 || r.Word() != 0xFFFF) return dialog;
    r.Dword();  // help id
    r.Dword();  // extended style
    dialog.style = r.Dword();
    const WORD count = r.Word();
    r.Short();
    r.Short();
    dialog.cx = r.Short();
    dialog.cy = r.Short();
    WORD ordinal = 0;
    r.NameOrOrdinal(&ordinal);  // menu
    r.NameOrOrdinal(&ordinal);  // class
    dialog.title = r.Text();
    if (dialog.style & (DS_SETFONT | DS_FIXEDSYS)) {
        dialog.pointSize = r.Word();
        r.Word();  // weight
        r.Byte();  // italic
        r.Byte();  // character set
        dialog.face = r.Text();
    }
    for (WORD i = 0; i < count && r.Good(); ++i) {
        r.AlignDword();
        StoredControl control;
        r.Dword();  // help id
        r.Dword();  // extended style
        control.style = r.Dword();
        control.x = r.Short();
        control.y = r.Short();
        control.cx = r.Short();
        control.cy = r.Short();
        control.id = r.Dword();
        control.className = r.NameOrOrdinal(&ordinal);
        if (ordinal) control.className = PredefinedClass(ordinal);
        control.text = r.NameOrOrdinal(&ordinal);
        r.Skip(r.Word());  // creation data
        dialog.controls.push_back(control);
    }
    dialog.ok = r.Good();
    return dialog;
}

bool SameClass(const std::wstring& a, const wchar_t* b) { return ::lstrcmpiW(a.c_str(), b) == 0; }

std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(ResourceDialogs, TemplatesHoldTheirSizeStyleFontAndControls) {
    for (const auto& c : kDialogs) {
        SCOPED_TRACE(c.id);
        StoredDialog d = ReadDialog(c.id);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(c.cx, d.cx);
        EXPECT_EQ(c.cy, d.cy);
        EXPECT_EQ(c.styleRequired, d.style & c.styleRequired);
        EXPECT_EQ(0u, d.style & WS_CAPTION) << "the windows have no caption bar and no border";
        EXPECT_EQ(c.visible, (d.style & WS_VISIBLE) != 0);
        EXPECT_EQ(8, d.pointSize);
        EXPECT_EQ(L"MS Shell Dlg", d.face);
        EXPECT_EQ(L"", d.title);
        ASSERT_EQ(c.controls.size(), d.controls.size());
        for (size_t i = 0; i < c.controls.size(); ++i) {
            const ControlCase& want = c.controls[i];
            const StoredControl& got = d.controls[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(static_cast<DWORD>(want.id), got.id);
            EXPECT_TRUE(SameClass(got.className, want.className)) << Ascii(got.className);
            EXPECT_EQ(want.text, got.text);
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.cx, got.cx);
            EXPECT_EQ(want.cy, got.cy);
            EXPECT_EQ(want.visible, (got.style & WS_VISIBLE) != 0);
            EXPECT_EQ(want.styleValue, got.style & want.styleMask);
            EXPECT_TRUE(got.style & WS_CHILD);
        }
    }
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class ResourceDialogWindows : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
        ::InitCommonControlsEx(&controls);
    }
};

TEST_F(ResourceDialogWindows, EveryTemplateCreatesItsWindowAndControls) {
    for (const auto& c : kDialogs) {
        SCOPED_TRACE(c.id);
        Blob blob = FindBlob(RT_DIALOG, c.id);
        ASSERT_TRUE(blob.data);
        HWND dialog = ::CreateDialogIndirectParamW(
            Self(), reinterpret_cast<LPCDLGTEMPLATEW>(blob.data), nullptr, PlainDialogProc, 0);
        ASSERT_TRUE(dialog != nullptr) << "error " << ::GetLastError();
        EXPECT_EQ(c.visible, ::IsWindowVisible(dialog) != FALSE);

        RECT size{0, 0, c.cx, c.cy};
        ::MapDialogRect(dialog, &size);
        RECT client{};
        ::GetClientRect(dialog, &client);
        EXPECT_EQ(size.right, client.right);
        EXPECT_EQ(size.bottom, client.bottom);
        RECT outer{};
        ::GetWindowRect(dialog, &outer);
        EXPECT_EQ(client.right, outer.right - outer.left) << "no frame around the client area";

        for (const auto& want : c.controls) {
            SCOPED_TRACE(want.id);
            HWND control = ::GetDlgItem(dialog, want.id);
            ASSERT_TRUE(control != nullptr);
            wchar_t name[64] = {};
            ::GetClassNameW(control, name, 64);
            EXPECT_TRUE(SameClass(name, want.className)) << Ascii(name);
            if (SameClass(name, L"Button")) {
                wchar_t text[64] = {};
                ::GetWindowTextW(control, text, 64);
                EXPECT_STREQ(want.text, text);
            }
            const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
            EXPECT_EQ(want.visible, (style & WS_VISIBLE) != 0);
            // The dialog manager converts the position and the size each on its own.
            RECT place{want.x, want.y, want.cx, want.cy};
            ::MapDialogRect(dialog, &place);
            RECT actual{};
            ::GetWindowRect(control, &actual);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(place.left, actual.left);
            EXPECT_EQ(place.top, actual.top);
            EXPECT_EQ(place.right, actual.right - actual.left);
            EXPECT_EQ(place.bottom, actual.bottom - actual.top);
        }
        ::DestroyWindow(dialog);
    }
}

// ---------------------------------------------------------------------------------------------
// Manifest and version

TEST(ResourceManifest, AsksForCommonControls6AsInvokerAndDpiAwareness) {
    Blob blob = FindBlob(RT_MANIFEST, 1);
    ASSERT_TRUE(blob.data);
    std::string text(reinterpret_cast<const char*>(blob.data), blob.size);
    EXPECT_NE(std::string::npos, text.find("name=\"Microsoft.Windows.Common-Controls\""));
    EXPECT_NE(std::string::npos, text.find("version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, text.find("publicKeyToken=\"6595b64144ccf1df\""));
    EXPECT_NE(std::string::npos, text.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, text.find(">true</dpiAware>"));
    // Windows 7 and Windows 10/11.
    EXPECT_NE(std::string::npos, text.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"));
    EXPECT_NE(std::string::npos, text.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"));
}

TEST(ResourceManifest, TheProcessRunsWithCommonControls6) {
    // The loader activates the manifest's dependency at start-up, so the comctl32 this process
    // imports is the side-by-side assembly, not the system folder's version 5. (Wine's copy
    // answers DllGetVersion with 5 even there, so the path is what tells them apart.)
    HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
    ASSERT_TRUE(comctl != nullptr);
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(comctl, path, MAX_PATH));
    std::wstring lower(path);
    for (auto& ch : lower) ch = static_cast<wchar_t>(::towlower(ch));
    EXPECT_NE(std::wstring::npos, lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."))
        << Ascii(path);
}

TEST(ResourceVersion, NamesTheProductAndItsVersion) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_NE(0u, fixed->dwFileVersionMS | fixed->dwFileVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    wchar_t* product = nullptr;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                                 reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(L"Tarvo Installer", product);
}

}  // namespace
