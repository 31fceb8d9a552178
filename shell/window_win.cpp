// The window framework: binding of objects to windows and the shared procedures.
#include "shell/window_win.h"

#include "shell/centering.h"
#include "shell/process_state_win.h"
#include "shell/resource_ids.h"

namespace {

bool IsEndCode(WORD id) {
    return id == IDOK || id == IDCANCEL || id == IDC_QUIT || id == IDC_SUSPEND ||
           id == IDC_SECOND_CHOICE;
}

}  // namespace

void SetInstance(HINSTANCE instance) { g_instance = instance; }

HINSTANCE GetFrameworkInstance() { return g_instance; }

bool RegisterWindowClass(const char* className, UINT classStyle, HICON icon, HCURSOR cursor,
                         HBRUSH background, const char* menuName) {
    WNDCLASSA windowClass = {};
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = FrameworkWindowProc;
    windowClass.hInstance = g_instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszMenuName = menuName;
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass) != 0;
}

bool Window::CreateEx(const char* className, const char* windowName, DWORD style,
                      DWORD extendedStyle, int x, int y, int width, int height, HWND parent,
                      HMENU menu) {
    HWND created = CreateWindowExA(extendedStyle, className, windowName, style, x, y, width, height,
                                   parent, menu, g_instance, this);
    windowHandle = created;
    return created != nullptr;
}

LRESULT Window::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(windowHandle, message, wParam, lParam);
}

INT_PTR Dialog::DialogProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && IsEndCode(LOWORD(wParam))) {
        EndDialog(windowHandle, LOWORD(wParam));
        return 1;
    }
    return 0;
}

INT_PTR Dialog::DoModal(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(LOWORD(templateId)), owner,
                           FrameworkDialogProc, reinterpret_cast<LPARAM>(this));
}

void CentreOnScreen(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    ScreenPoint origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
    MoveWindow(window, origin.x, origin.y, width, height, TRUE);
    SetForegroundWindow(window);
}

INT_PTR CenteredDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) CentreOnScreen(windowHandle);
    return Dialog::DialogProc(message, wParam, lParam);
}

Window* ObjectFromWindow(HWND window) {
    return reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

namespace {

// The object travels with its window's creation, so a window is bound to the object
// that created it whatever other thread creates windows at the same moment.
void Bind(HWND window, Window* object) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    object->windowHandle = window;
}

}  // namespace

// A few messages (WM_GETMINMAXINFO) come before WM_NCCREATE; they get the default
// handling, as every message of a window created without an object does.
LRESULT CALLBACK FrameworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* object = ObjectFromWindow(window);
    if (object == nullptr && message == WM_NCCREATE) {
        object = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (object != nullptr) Bind(window, object);
    }
    if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return object->WindowProc(message, wParam, lParam);
}

// WM_SETFONT comes before WM_INITDIALOG and gets the dialog manager's own handling.
INT_PTR CALLBACK FrameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG && lParam != 0 && ObjectFromWindow(window) == nullptr)
        Bind(window, reinterpret_cast<Dialog*>(lParam));
    // Only dialogs are shown through this procedure.
    Dialog* dialog = static_cast<Dialog*>(ObjectFromWindow(window));
    if (dialog == nullptr) return 0;
    return dialog->DialogProc(message, wParam, lParam);
}
