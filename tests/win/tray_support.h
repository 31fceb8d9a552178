// The notification area as the tests meet it under Wine. Without a system tray on the
// X display, Wine's explorer shows the icons in a window of its own ("Wine System
// Tray"): each icon is a child window there with a tooltip holding the icon's tip, and
// a mouse message on that child reaches the icon's owner as the owner's callback
// message, as a click on a real taskbar icon does.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct NotificationIcon {
    HWND window = nullptr;  // the icon's window in the notification area
    std::string tip;        // its tooltip text; empty when none could be read
};

// The standalone tray window of Wine's explorer; null before any icon was ever shown.
HWND NotificationArea();
// The icons shown now, left to right.
std::vector<NotificationIcon> NotificationIcons();
// The icons shown now that were not among before (icons of processes that ended
// without removing theirs may stay behind; the tests only look at what they add).
std::vector<NotificationIcon> IconsAddedSince(const std::vector<NotificationIcon>& before);
// Waits until exactly count icons have been added since before and their tips can be
// read; returns them then, else what is there when the time is up.
std::vector<NotificationIcon> WaitForAddedIcons(const std::vector<NotificationIcon>& before,
                                                size_t count, DWORD milliseconds);

// What a person's mouse does over an icon; the position is inside the icon.
bool DoubleClickIcon(HWND icon);
bool ClickIcon(HWND icon);
bool RightPressIcon(HWND icon);
