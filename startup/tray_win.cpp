// Tray mode: while a download is suspended the installer waits as an icon in the
// notification area. A double-click on the icon, Open from its menu or a second start
// of the program (which posts Open to the tray window) resumes the download; Quit
// abandons it.
//
// The hidden tray window is found again by class and title, so it is created once per
// process and kept, with its icon and menu, across tray modes. A window of that name
// owned by another process (the first instance, seen by a nested run) is not used:
// this process creates its own, so that Open and Quit reach its own message loop.
#include "startup/tray_win.h"

#include <stddef.h>
#include <stdlib.h>

#include "common/run_log_win.h"
#include "common/resource_string_win.h"
#include "shell/process_state_win.h"
#include "startup/run_modes_win.h"
#include "startup/switches.h"
#include "startup/tray_tip.h"
#include "shell/resource_ids.h"

const char trayClassName[] = "CV_TARROCK_TRAY_CLASS";

namespace {

const char taskbarClassName[] = "Shell_TrayWnd";
const DWORD taskbarPollMilliseconds = 250;
const UINT trayIconId = 1;

TrayIcon* g_currentIcon = nullptr;
HMENU g_trayMenu = nullptr;   // menu 107 as loaded
HMENU g_trayPopup = nullptr;  // its first popup, the one shown
WNDPROC g_previousProc = nullptr;
// Quit was chosen while a download run was open: the run has been asked to end, and a
// tray mode that follows it ends at once.
bool g_quitDuringRun = false;

HWND CreateTrayWindow(HICON image) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = g_instance;
    windowClass.hIcon = image;
    windowClass.lpszClassName = trayClassName;
    RegisterClassA(&windowClass);  // fails harmlessly when an earlier window registered it
    return CreateWindowExA(0, trayClassName, trayClassName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                           g_instance, nullptr);
}

// Right after log-on the installer may start before the taskbar exists, and an icon
// added then would never be shown.
void WaitForTaskbar() {
    while (FindWindowA(taskbarClassName, nullptr) == nullptr) Sleep(taskbarPollMilliseconds);
}

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void ForgetCurrentIcon() {
    if (g_currentIcon == nullptr) return;
    RemoveTrayIcon(g_currentIcon);
    free(g_currentIcon);
    g_currentIcon = nullptr;
}

LRESULT ShowTrayMenu(HWND window) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    // The click happened in the taskbar, whose thread has the input. Sharing its input
    // state gives the menu the keyboard focus and lets it close when the user clicks
    // anywhere else; without it the menu stays open until an item is chosen.
    DWORD ownThread = GetCurrentThreadId();
    DWORD attachedThread = 0;
    HWND under = WindowFromPoint(cursor);
    if (under != nullptr) {
        DWORD thread = GetWindowThreadProcessId(under, nullptr);
        if (thread != ownThread && AttachThreadInput(thread, ownThread, TRUE))
            attachedThread = thread;
    }
    SetCapture(window);
    // The menu opens on the button press; the release of that same button, and any
    // other mouse message still queued, would reach the menu as a click outside it and
    // close it at once.
    MSG pending;
    while (PeekMessageA(&pending, nullptr, WM_MOUSEFIRST, WM_MBUTTONDBLCLK, PM_REMOVE)) {
    }
    HMENU menu = g_currentIcon->menuProvider != nullptr ? g_currentIcon->menuProvider() : nullptr;
    BOOL chosen = FALSE;
    // The chosen item arrives as WM_COMMAND at the tray window.
    if (menu != nullptr)
        chosen = TrackPopupMenu(menu, TPM_RIGHTALIGN, cursor.x, cursor.y, 0, window, nullptr);
    ReleaseCapture();
    if (attachedThread != 0) AttachThreadInput(attachedThread, ownThread, FALSE);
    return chosen;
}

}  // namespace

HWND FindOwnTrayWindow() {
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, trayClassName, trayClassName)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process == GetCurrentProcessId()) return found;
    }
    return nullptr;
}

void AddTrayIcon(TrayIcon* icon, HWND owner, HICON image, const char* tip,
                 TrayMenuProvider menuProvider, UINT doubleClickCommand) {
    icon->iconId = trayIconId;
    icon->owner = owner;
    icon->doubleClickCommand = doubleClickCommand;
    icon->menuProvider = menuProvider;
    g_currentIcon = icon;

    // The first version of the structure: every shell knows it.
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = owner;
    data.uID = icon->iconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON;
    data.uCallbackMessage = trayCallbackMessage;
    data.hIcon = image;
    if (tip != nullptr) {
        data.uFlags |= NIF_TIP;
        MakeTrayTip(tip, data.szTip, countof(data.szTip), IsLeadByte);
    }
    Shell_NotifyIconA(NIM_ADD, &data);

    // The owner may be a window created again after an earlier one was destroyed; the
    // check keeps the subclass procedure from ever becoming its own predecessor.
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(owner, GWLP_WNDPROC));
    if (current != TraySubclassProc) {
        g_previousProc = current;
        SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TraySubclassProc));
    }
}

void RemoveTrayIcon(const TrayIcon* icon) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = icon->owner;
    data.uID = icon->iconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

HMENU GetTrayMenu() {
    if (g_trayPopup == nullptr) return nullptr;
    MENUITEMINFOA item = {};
    // The size without the later bitmap field: Windows 95 and NT 4.0 refuse any other.
    item.cbSize = offsetof(MENUITEMINFOA, hbmpItem);
    item.fMask = MIIM_STATE;
    item.fState = MFS_DEFAULT;
    SetMenuItemInfoA(g_trayPopup, IDM_TRAY_OPEN, FALSE, &item);
    return g_trayPopup;
}

LRESULT CALLBACK TraySubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == trayCallbackMessage && g_currentIcon != nullptr) {
        if (lParam == WM_LBUTTONDBLCLK)
            return PostMessageA(window, WM_COMMAND, g_currentIcon->doubleClickCommand, lParam);
        if (lParam == WM_RBUTTONDOWN) return ShowTrayMenu(window);
    }
    return CallWindowProcA(g_previousProc != nullptr ? g_previousProc : TrayWindowProc, window,
                           message, wParam, lParam);
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDM_TRAY_QUIT)) {
        ForgetCurrentIcon();
        DestroyWindow(window);
        if (g_downloadRunActive) {
            // A quit message would end whatever modal loop the run is in (its dialog, a
            // message box) without a Quit or Suspend code and leave its files to chance.
            // The run is ended as after a confirmed Quit instead.
            g_quitDuringRun = true;
            QuitOpenDownloadRun();
        } else {
            PostQuitMessage(0);
        }
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDM_TRAY_OPEN) {
        // While a download run is open there is nothing to open.
        if (!g_downloadRunActive) PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RunTray() {
    if (g_quitDuringRun) {
        g_quitDuringRun = false;
        return kTrayQuit;
    }
    if (FindOwnTrayWindow() == nullptr) {
        // The notification area shows small icons: the one of the size the system's scale
        // asks for, not the 32-pixel one shrunk or a 16-pixel one stretched.
        HICON image = static_cast<HICON>(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_INSTALLER),
                                                    IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        HWND window = CreateTrayWindow(image);
        if (window == nullptr) {
            LogEvent("the notification area's window could not be made (error %lu)",
                     GetLastError());
            return kTrayUnavailable;
        }
        WaitForTaskbar();
        // Without memory for the icon, tray mode still answers Open from a second start
        // and WM_CLOSE.
        TrayIcon* icon = static_cast<TrayIcon*>(malloc(sizeof(TrayIcon)));
        if (icon != nullptr) {
            char tip[100];
            LoadResourceString(g_instance, IDS_APP_TITLE, tip);
            AddTrayIcon(icon, window, image, tip, GetTrayMenu, IDM_TRAY_OPEN);
        }
        if (g_trayMenu == nullptr) {
            g_trayMenu = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_TRAY_MENU));
            g_trayPopup = g_trayMenu != nullptr ? GetSubMenu(g_trayMenu, 0) : nullptr;
        }
    }
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.message == WM_QUIT && message.wParam == 1 ? kTrayOpen : kTrayQuit;
}

void CleanUpTrayAtExit() {
    ForgetCurrentIcon();
    if (g_trayMenu != nullptr) DestroyMenu(g_trayMenu);
    g_trayMenu = nullptr;
    g_trayPopup = nullptr;
}
