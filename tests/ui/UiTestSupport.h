#pragma once
// Helpers for the window toolkit's tests: canvases filled with one colour, pixel reading, ink
// bounds, a message pump that waits for a condition, BMP files in and out.
#include "base/Sync.h"
#include "ui/Drawing.h"

#include <gtest/gtest.h>

#include <process.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tarvo {
// Readable texts in assertion messages.
inline void PrintTo(const WString& text, std::ostream* os) { *os << '"' << ToAnsi(text.c_str()) << '"'; }
}  // namespace tarvo

namespace tarvo::testing {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

inline BitmapCanvas FilledCanvas(int width, int height, COLORREF color = kWhite) {
    BitmapCanvas canvas;
    EXPECT_TRUE(canvas.CreateBlank(width, height));
    RECT all = {0, 0, width, height};
    SolidBrush brush(color);
    ::FillRect(canvas.Dc(), &all, brush.Handle());
    return canvas;
}

inline COLORREF Pixel(const BitmapCanvas& canvas, int x, int y) { return ::GetPixel(canvas.Dc(), x, y); }

// Columns and rows that hold a pixel other than `background`; empty (left > right) when none.
inline RECT InkBounds(const BitmapCanvas& canvas, COLORREF background = kWhite) {
    RECT bounds = {canvas.Width(), canvas.Height(), -1, -1};
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            if (Pixel(canvas, x, y) == background) continue;
            if (x < bounds.left) bounds.left = x;
            if (x > bounds.right) bounds.right = x;
            if (y < bounds.top) bounds.top = y;
            if (y > bounds.bottom) bounds.bottom = y;
        }
    }
    return bounds;
}

// Dispatches the thread's messages until `done` holds; false when it still does not after
// `capMs` (a bound against hanging, not a timing check).
inline bool PumpUntil(const std::function<bool()>& done, DWORD capMs = 30000) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > capMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

namespace detail {
inline unsigned __stdcall RunFunction(void* p) {
    (*static_cast<std::function<void()>*>(p))();
    return 0;
}
}  // namespace detail

// Whether another thread can take `lock` right now.
inline bool TryLockElsewhere(MutexLock& lock) {
    bool taken = false;
    std::function<void()> attempt = [&] {
        taken = lock.TryLock();
        if (taken) lock.Unlock();
    };
    uintptr_t thread = ::_beginthreadex(nullptr, 0, detail::RunFunction, &attempt, 0, nullptr);
    if (!thread) return false;
    KernelHandle handle(reinterpret_cast<HANDLE>(thread));
    ::WaitForSingleObject(handle.Get(), INFINITE);
    return taken;
}

// A 24-bit bottom-up BMP file image whose pixel (x, y) (y from the top) is color(x, y).
inline std::vector<uint8_t> MakeBmp(int width, int height, const std::function<COLORREF(int, int)>& color) {
    int stride = (width * 3 + 3) & ~3;
    uint32_t imageSize = uint32_t(stride * height);
    std::vector<uint8_t> bytes(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + imageSize);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfSize = DWORD(bytes.size());
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageSize;
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    uint8_t* pixels = bytes.data() + file.bfOffBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels + size_t(height - 1 - y) * size_t(stride);
        for (int x = 0; x < width; ++x) {
            COLORREF c = color(x, y);
            row[x * 3 + 0] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    return bytes;
}

// Writes the canvas as a 24-bit BMP file (for looking at what a test painted).
inline bool SaveBmp(const BitmapCanvas& canvas, const std::wstring& path) {
    int width = canvas.Width();
    int height = canvas.Height();
    if (!width || !height) return false;
    auto bytes = MakeBmp(width, height, [&](int x, int y) { return Pixel(canvas, x, y); });
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace tarvo::testing
