// Screenshots of what the display really shows, saved as 24-bit BMP files
// (scripts/bmp2png.py turns them into PNG).
#pragma once

#include <windows.h>

#include <string>

struct ScreenshotSize {
    int width = 0;
    int height = 0;
};

// Copies the screen area of window (its frame included; the whole screen when window is
// null) into a BMP file at path. Windows in front of it are captured too, as a person
// would see them. Returns false when nothing could be captured or written.
bool SaveScreenshot(HWND window, const std::string& path, ScreenshotSize* size = nullptr);
