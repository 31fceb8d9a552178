// The window framework: every window and dialog of the program (but the tray
// window) is an object bound to its window through the window's user data. One
// window procedure and one dialog procedure forward each message to the object.
// The object is handed over with the window's creation (CreateWindowExA's parameter,
// DialogBoxParamA's), so windows may be created on any thread.
#pragma once

#include "common/win32.h"

// Set and give the module instance (g_instance, shell/process_state_win.h): window
// classes, windows and dialog templates are taken from it.
void SetInstance(HINSTANCE instance);
HINSTANCE GetFrameworkInstance();

// Registers a class whose procedure is the framework's; false when RegisterClassA
// failed (also when the name is already registered, which callers ignore).
bool RegisterWindowClass(const char* className, UINT classStyle, HICON icon, HCURSOR cursor,
                         HBRUSH background, const char* menuName);

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Note the order: style comes before the extended style.
    virtual bool CreateEx(const char* className, const char* windowName, DWORD style,
                          DWORD extendedStyle, int x, int y, int width, int height, HWND parent,
                          HMENU menu);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND windowHandle = nullptr;
};

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId) : templateId(templateId) {}
    // Ends the dialog on the end codes 1, 2, 1003, 1004 and 1009; handles nothing else.
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Shows the dialog modally; the code given to EndDialog, or -1 when it could not be shown.
    INT_PTR DoModal(HWND owner);

    UINT templateId;
};

// Moves a window to the middle of the screen and brings it to the foreground.
void CentreOnScreen(HWND window);

// A dialog that centres itself on the screen and comes to the foreground.
class CenteredDialog : public Dialog {
public:
    explicit CenteredDialog(UINT templateId) : Dialog(templateId) {}
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The object bound to a window; null before the window's first WM_NCCREATE or
// WM_INITDIALOG, and for a window created without an object.
Window* ObjectFromWindow(HWND window);
LRESULT CALLBACK FrameworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FrameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
