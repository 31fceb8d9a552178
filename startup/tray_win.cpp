// Tray mode: a hidden window of its own class waits for Open or Quit.
//
// The window is found again by class and title, so it is created once per process
// and kept across tray modes. A window of that name owned by another process (the
// first instance, seen by a nested run) is not used: this process creates its own.
#include "startup/app_win.h"
#include "startup/run_modes_win.h"
#include "ui/resource_ids.h"

namespace {

const char trayClassName[] = "CV_TARROCK_TRAY_CLASS";

HWND FindOwnTrayWindow() {
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, trayClassName, trayClassName)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process == GetCurrentProcessId()) return found;
    }
    return nullptr;
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDM_TRAY_QUIT)) {
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDM_TRAY_OPEN) {
        if (!downloadRunActive) PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool CreateTrayWindow() {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconA(appInstance, MAKEINTRESOURCEA(IDI_INSTALLER));
    windowClass.lpszClassName = trayClassName;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, trayClassName, trayClassName, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, appInstance, nullptr);
    return window != nullptr;
}

}  // namespace

int RunTray() {
    if (FindOwnTrayWindow() == nullptr && !CreateTrayWindow()) return 0;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.message == WM_QUIT && message.wParam == 1 ? 1 : 0;
}

void CleanUpTrayAtExit() {}
