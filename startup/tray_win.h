// Tray mode's pieces: the notification-area icon, its popup menu and the two window
// procedures of the hidden tray window. `RunTray` (run_modes_win.h) puts them together.
#pragma once

#include "common/win32.h"

// The tray window's class, also its title; a second start finds the window by both.
extern const char trayClassName[];

// The message with which the shell reports mouse actions over the icon; lParam holds
// the mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, ...).
const UINT trayCallbackMessage = WM_USER + 17;  // 1041

// The tray window of this process, if there is one; a window of that class and title
// owned by another process is never taken for it.
HWND FindOwnTrayWindow();

// Called each time the popup menu is about to open.
typedef HMENU (*TrayMenuProvider)();

struct TrayIcon {
    UINT iconId;                    // the icon's identifier towards the shell, always 1
    HWND owner;                     // the tray window, which receives the icon's callbacks
    UINT doubleClickCommand;        // posted as WM_COMMAND when the icon is double-clicked
    TrayMenuProvider menuProvider;  // gives the popup menu
};

// Shows the icon with its tip (cut to what the shell holds; none when tip is null),
// makes icon the current one and subclasses its owner so that the icon's callbacks
// are answered.
void AddTrayIcon(TrayIcon* icon, HWND owner, HICON image, const char* tip,
                 TrayMenuProvider menuProvider, UINT doubleClickCommand);
// Takes the icon out of the notification area.
void RemoveTrayIcon(const TrayIcon* icon);

// The menu provider: the first popup of menu 107 with Open as its default (bold) item.
// Null before the first tray mode has loaded the menu.
HMENU GetTrayMenu();

// The class procedure of the tray window: Open and Quit.
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Put in front of it by AddTrayIcon: the icon's double-click and its popup menu.
LRESULT CALLBACK TraySubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
