// The single-instance rule and the run modes, with the real installer image:
// hand-over to a running instance, the refusal message, nested runs and tray Quit.
#include "process_support.h"

#include <gtest/gtest.h>

namespace {

const char trayClass[] = "CV_TARROCK_TRAY_CLASS";
const char installer[] = "cvget.exe";
const DWORD patience = 30000;

WPARAM lastCommand = 0;

LRESULT CALLBACK RecordingTrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) lastCommand = wParam;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Plays the part of a first instance waiting in tray mode.
class FakeFirstInstance {
public:
    explicit FakeFirstInstance(bool withTrayWindow) {
        mutex = CreateMutexA(nullptr, TRUE, "CVGET_INSTANCE_MUTEX");
        if (!withTrayWindow) return;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingTrayProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = trayClass;
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, trayClass, trayClass, WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~FakeFirstInstance() {
        if (window != nullptr) DestroyWindow(window);
        UnregisterClassA(trayClass, GetModuleHandleA(nullptr));
        CloseHandle(mutex);
    }
    HANDLE mutex = nullptr;
    HWND window = nullptr;
};

// Keeps the work-directory record of the prefix as it was before the test.
class RecordGuard {
public:
    RecordGuard() : saved(ReadRecordedWorkDirectory()) {}
    ~RecordGuard() { SetRecordedWorkDirectory(saved); }

private:
    std::string saved;
};

}  // namespace

TEST(Instance, SecondStartPostsOpenToTheTrayWindowAndEndsWithOne) {
    FakeFirstInstance first(true);
    ASSERT_NE(nullptr, first.window);
    lastCommand = 0;
    InstallerProcess second(installer, "");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(1, second.WaitForExit(patience));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(40003u, lastCommand);
}

TEST(Instance, SecondStartWithoutTrayWindowShowsMessage594) {
    FakeFirstInstance first(false);
    InstallerProcess second(installer, "");
    ASSERT_TRUE(second.Started());
    HWND box = second.FindWindowOf("#32770", "Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, box);
    char text[512] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    EXPECT_STREQ("You may not run multiple instances of this application.", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1, second.WaitForExit(patience));
}

TEST(Instance, NestedRunGoesOnAndNeverDeletesTheWorkDirectory) {
    RecordGuard guard;
    ScratchDirectory work;
    WriteWholeFile(work.Path() + "\\part.bin", "kept");
    SetRecordedWorkDirectory(work.Path());
    FakeFirstInstance first(true);
    InstallerProcess nested(installer, "-run2 -tray");
    ASSERT_TRUE(nested.Started());
    // The nested run makes a tray window of its own rather than using the first one's.
    HWND tray = nested.FindWindowOf(trayClass, trayClass, patience);
    ASSERT_NE(nullptr, tray);
    PostMessageA(tray, WM_COMMAND, 40002, 0);    // Quit
    EXPECT_EQ(6, nested.WaitForExit(patience));  // quit: cancelled by the user
    EXPECT_TRUE(FileExists(work.Path() + "\\part.bin"));
    EXPECT_EQ(work.Path(), ReadRecordedWorkDirectory());
}

TEST(Instance, TrayQuitDeletesTheWorkDirectoryAndItsRecord) {
    RecordGuard guard;
    ScratchDirectory scratch;
    std::string work = scratch.Path() + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    CreateDirectoryA((work + "\\sub").c_str(), nullptr);
    WriteWholeFile(work + "\\sub\\file000.bin", "part");
    SetFileAttributesA((work + "\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
    SetRecordedWorkDirectory(work);
    InstallerProcess first(installer, "-tray");
    ASSERT_TRUE(first.Started());
    HWND tray = first.FindWindowOf(trayClass, trayClass, patience);
    ASSERT_NE(nullptr, tray);
    PostMessageA(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(6, first.WaitForExit(patience));  // ended from the tray: cancelled
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
}

TEST(Instance, SecondRealStartOpensTheFirstInstanceFromTray) {
    RecordGuard guard;
    ScratchDirectory work;
    SetRecordedWorkDirectory(work.Path());
    InstallerProcess first(installer, "-tray");
    ASSERT_TRUE(first.Started());
    ASSERT_NE(nullptr, first.FindWindowOf(trayClass, trayClass, patience));
    InstallerProcess second(installer, "");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(1, second.WaitForExit(patience));
    // Open leaves tray mode; the download run then ends and so does the process. The
    // bare image holds no description: the run says so in its exit code and keeps the
    // work directory (a damaged copy never deletes what was downloaded).
    EXPECT_EQ(3, first.WaitForExit(patience));
    EXPECT_TRUE(FileExists(work.Path()));
}
