// The window framework's binding of objects to windows while two threads create
// windows and dialogs at the same moment: each window must reach its own object.
#include "shell/resource_ids.h"
#include "shell/window_win.h"

#include <gtest/gtest.h>

namespace {

const char kClassName[] = "WindowFrameworkProbe";
const int kRounds = 200;

// Notes whether its own window's creation reached it.
class ProbeWindow : public Window {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE) created = windowHandle;
        return Window::WindowProc(message, wParam, lParam);
    }
    HWND created = nullptr;
};

// Ends itself as soon as it is initialised, noting the window it was given.
class ProbeDialog : public Dialog {
public:
    ProbeDialog() : Dialog(IDD_WELCOME) {}
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_INITDIALOG) return Dialog::DialogProc(message, wParam, lParam);
        initialised = windowHandle;
        EndDialog(windowHandle, IDOK);
        return 1;
    }
    HWND initialised = nullptr;
};

struct Tally {
    int windowsWrong = 0;
    int dialogsWrong = 0;
};

// Creates windows and shows dialogs, counting those that did not reach their object.
DWORD WINAPI CreateMany(void* parameter) {
    Tally* tally = static_cast<Tally*>(parameter);
    for (int i = 0; i < kRounds; ++i) {
        ProbeWindow window;
        bool made = window.CreateEx(kClassName, "", WS_POPUP, 0, 0, 0, 1, 1, nullptr, nullptr);
        if (!made || window.created != window.windowHandle ||
            ObjectFromWindow(window.windowHandle) != &window)
            ++tally->windowsWrong;
        if (made) DestroyWindow(window.windowHandle);
        ProbeDialog dialog;
        if (dialog.DoModal(nullptr) != IDOK || dialog.initialised == nullptr ||
            dialog.initialised != dialog.windowHandle)
            ++tally->dialogsWrong;
    }
    return 0;
}

}  // namespace

TEST(WindowFramework, WindowsCreatedOnTwoThreadsAtOnceReachTheirOwnObjects) {
    SetInstance(GetModuleHandleA(nullptr));
    RegisterWindowClass(kClassName, 0, nullptr, nullptr, nullptr, nullptr);
    Tally first, second;
    HANDLE threads[2] = {CreateThread(nullptr, 0, CreateMany, &first, 0, nullptr),
                         CreateThread(nullptr, 0, CreateMany, &second, 0, nullptr)};
    ASSERT_NE(nullptr, threads[0]);
    ASSERT_NE(nullptr, threads[1]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 60000));
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    EXPECT_EQ(0, first.windowsWrong + second.windowsWrong);
    EXPECT_EQ(0, first.dialogsWrong + second.dialogsWrong);
}

TEST(WindowFramework, AWindowCreatedWithoutAnObjectGetsTheDefaultHandling) {
    SetInstance(GetModuleHandleA(nullptr));
    RegisterWindowClass(kClassName, 0, nullptr, nullptr, nullptr, nullptr);
    HWND window = CreateWindowExA(0, kClassName, "plain", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(nullptr, ObjectFromWindow(window));
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("plain", title);
    DestroyWindow(window);
}
