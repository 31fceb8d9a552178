// A test's stand-in for the user of another process: it waits for that process's
// windows, reads what they show (texts, list rows, progress) and presses their buttons
// and keys through window messages, the way a person at the screen would meet them.
//
// The list-view reader works through the other process's memory and assumes that both
// processes have the same bitness (the Wine tests run 64-bit tests against the 64-bit
// build of the installer); it refuses a process of the other bitness.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a top-level window must look like to be found. Null fields match anything.
struct WindowQuery {
    const char* className = nullptr;    // compared ignoring case, e.g. "#32770"
    const char* caption = nullptr;      // compared exactly
    bool mustBeShown = true;            // hidden windows (a dialog before ShowWindow) are skipped
    int controlId = 0;                  // nonzero: the window must have a child with this id ...
    const char* controlText = nullptr;  // ... whose text contains this fragment
};

struct ProgressState {
    int low = 0;
    int high = 0;
    int position = 0;
};

class Person {
public:
    // Message-box and dialog class, and the control that holds a message box's text.
    static const char dialogClass[];
    static const int messageTextId = 0xFFFF;

    explicit Person(DWORD processId) : processId(processId) {}

    // Finding windows. The waits pump the calling thread's messages and poll; they return
    // null (or false) when the time is up.
    HWND FindTopWindow(const WindowQuery& query) const;
    HWND WaitForWindow(const WindowQuery& query, DWORD milliseconds) const;
    HWND WaitForDialog(const char* caption, DWORD milliseconds) const;
    // A shown "#32770" window titled title whose message text contains fragment (or any text).
    HWND WaitForMessageBox(const char* title, const char* fragment, DWORD milliseconds) const;
    bool WaitUntilGone(HWND window, DWORD milliseconds) const;
    bool WaitForText(HWND window, const char* text, DWORD milliseconds) const;
    // Every top-level window of the process as "class 'caption'" lines, for failure messages.
    std::string DescribeWindows() const;

    // Reading what the windows show.
    static std::string Text(HWND window);
    static std::string ControlText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    static std::string ClassName(HWND window);
    static std::string MessageText(HWND box) { return ControlText(box, messageTextId); }
    static bool IsShown(HWND window) { return window != nullptr && IsWindowVisible(window); }
    static bool IsEnabled(HWND window) { return window != nullptr && IsWindowEnabled(window); }
    static RECT Rectangle(HWND window);
    static ProgressState Progress(HWND bar);

    // List views of the process: -1 / empty when the list cannot be read.
    static int RowCount(HWND list);
    static int ColumnCount(HWND list);
    static std::string ColumnTitle(HWND list, int column);
    static std::string CellText(HWND list, int row, int column);
    // Every row with the texts of columns 0 .. ColumnCount-1.
    static std::vector<std::vector<std::string>> Rows(HWND list);

    // Acting. A press is refused (false) when a person could not make it: the control is
    // missing, hidden or disabled, or its window is disabled behind a modal box.
    static bool Press(HWND button);
    static bool Press(HWND dialog, int id) { return Press(GetDlgItem(dialog, id)); }
    // Presses the message box's button IDYES, IDNO, IDOK, IDCANCEL...
    static bool Answer(HWND box, int answer) { return Press(box, answer); }
    // A key pressed and released while the dialog is active: the dialog manager of the
    // process's modal loop turns Escape into IDCANCEL and Enter into the default button.
    bool PressKey(HWND dialog, UINT virtualKey) const;
    bool PressEscape(HWND dialog) const { return PressKey(dialog, VK_ESCAPE); }
    bool PressEnter(HWND dialog) const { return PressKey(dialog, VK_RETURN); }
    // Messages a person's system would deliver. Send gives up after milliseconds.
    static bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                     DWORD milliseconds);
    static bool PostCommand(HWND window, int id) { return Post(window, WM_COMMAND, id, 0); }

    DWORD ProcessId() const { return processId; }

private:
    DWORD processId;
};

// Polls condition every few milliseconds, pumping this thread's messages, until it holds
// or the time is up; returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return condition();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(20);
    }
}
