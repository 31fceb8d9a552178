// The window framework: binding of objects to windows and the shared procedures.
#include "shell/window_win.h"

#include "shell/centering.h"
#include "shell/resource_ids.h"

namespace {

HINSTANCE frameworkInstance = nullptr;
// The object whose window is being created right now. All framework windows are
// created on the user-interface thread, except the HTTP settings dialog, which the
// fetch thread shows while the user-interface thread creates none.
Window* pendingObject = nullptr;

bool IsEndCode(WORD id) {
    return id == IDOK || id == IDCANCEL || id == IDC_QUIT || id == IDC_SUSPEND || id == IDC_CANCEL;
}

}  // namespace

void SetInstance(HINSTANCE instance) { frameworkInstance = instance; }

HINSTANCE GetFrameworkInstance() { return frameworkInstance; }

bool RegisterWindowClass(const char* className, UINT classStyle, HICON icon, HCURSOR cursor,
                         HBRUSH background, const char* menuName) {
    WNDCLASSA windowClass = {};
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = FrameworkWindowProc;
    windowClass.hInstance = frameworkInstance;
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
    pendingObject = this;
    HWND created = CreateWindowExA(extendedStyle, className, windowName, style, x, y, width,
                                   height, parent, menu, frameworkInstance, nullptr);
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
    pendingObject = this;
    return DialogBoxParamA(frameworkInstance, MAKEINTRESOURCEA(LOWORD(templateId)), owner,
                           FrameworkDialogProc, 0);
}

void CentreOnScreen(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    ScreenPoint origin = CentredOrigin(GetSystemMetrics(SM_CXSCREEN),
                                       GetSystemMetrics(SM_CYSCREEN), width, height);
    MoveWindow(window, origin.x, origin.y, width, height, TRUE);
    SetForegroundWindow(window);
}

INT_PTR CenteredDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) CentreOnScreen(windowHandle);
    return Dialog::DialogProc(message, wParam, lParam);
}

Window* ObjectFromWindow(HWND window) {
    Window* bound = reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (bound != nullptr) return bound;
    Window* object = pendingObject;
    if (object == nullptr) return nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    object->windowHandle = window;
    pendingObject = nullptr;
    return object;
}

LRESULT CALLBACK FrameworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* object = ObjectFromWindow(window);
    if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return object->WindowProc(message, wParam, lParam);
}

INT_PTR CALLBACK FrameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* object = ObjectFromWindow(window);
    if (object == nullptr) return 0;
    // Only dialogs are shown through this procedure.
    return static_cast<Dialog*>(object)->DialogProc(message, wParam, lParam);
}
