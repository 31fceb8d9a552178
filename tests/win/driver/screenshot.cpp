// Screen capture through the screen's device context: under Wine on an X server this
// reads back the pixels the server really shows.
#include "driver/screenshot.h"

#include <stdio.h>

#include <vector>

namespace {

const int bitsPerPixel = 24;
const WORD bitmapSignature = 0x4D42;  // "BM"
// Time the window's process gets to paint what it has just been told to show.
const DWORD paintPatience = 150;

int RowStride(int width) { return (width * 3 + 3) & ~3; }

void LetWindowPaint(HWND window) {
    if (window == nullptr) return;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
    Sleep(paintPatience);
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
}

bool WriteBitmapFile(const std::string& path, int width, int height,
                     const std::vector<unsigned char>& pixels) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;  // positive: rows stored bottom-up
    info.biPlanes = 1;
    info.biBitCount = bitsPerPixel;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    BITMAPFILEHEADER file = {};
    file.bfType = bitmapSignature;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool written = fwrite(&file, sizeof(file), 1, out) == 1 &&
                   fwrite(&info, sizeof(info), 1, out) == 1 &&
                   fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return fclose(out) == 0 && written;
}

}  // namespace

bool SaveScreenshot(HWND window, const std::string& path, ScreenshotSize* size) {
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window != nullptr) {
        RECT frame;
        if (!GetWindowRect(window, &frame) || !IntersectRect(&area, &area, &frame)) return false;
        LetWindowPaint(window);
    }
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    bool copied = false;
    std::vector<unsigned char> pixels(static_cast<size_t>(RowStride(width)) * height);
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        SelectObject(memory, previous);
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = height;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = bitsPerPixel;
        format.bmiHeader.biCompression = BI_RGB;
        copied = copied && GetDIBits(memory, bitmap, 0, height, pixels.data(), &format,
                                     DIB_RGB_COLORS) == height;
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!copied || !WriteBitmapFile(path, width, height, pixels)) return false;
    if (size != nullptr) {
        size->width = width;
        size->height = height;
    }
    return true;
}
