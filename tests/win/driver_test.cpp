// The test driver against a small program of known content (driver_target_app.exe):
// every way a test finds, reads and operates another process's windows is shown to work
// on dialog 101 of the installer's own resources, and to refuse what a person could not do.
#include "driver/person.h"
#include "driver/screenshot.h"
#include "driver/shell_link.h"
#include "process_support.h"
#include "shell/resource_ids.h"

#include <commctrl.h>
#include <stdio.h>

#include <gtest/gtest.h>

namespace {

const char target[] = "driver_target_app.exe";
const char caption[] = "Downloading Software...";
const char questionTitle[] = "Driver Target";
const char initialStatus[] = "Downloading file 'client.cab' (12K of 48K)...";
const int sessionEndCode = 17;
const DWORD patience = 5000;
// How long a window that should not turn up is looked for.
const DWORD briefLook = 300;

// The target started and its dialog shown; the process is ended with the test.
class TargetSession {
public:
    explicit TargetSession(const std::string& arguments = "")
        : process(target, arguments), person(process.Id()) {
        if (process.Started()) dialog = person.WaitForDialog(caption, patience);
    }
    InstallerProcess process;
    Person person;
    HWND dialog = nullptr;
};

#define ASSERT_TARGET_SHOWN(session)          \
    ASSERT_TRUE((session).process.Started()); \
    ASSERT_NE(nullptr, (session).dialog) << (session).person.DescribeWindows()

int32_t LittleEndian32(const std::vector<unsigned char>& bytes, size_t offset) {
    return static_cast<int32_t>(bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                                static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

}  // namespace

TEST(Driver, FindsTopWindowsByClassCaptionAndControlText) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    struct Case {
        const char* className;
        const char* caption;
        int controlId;
        const char* controlText;
        bool found;
    } cases[] = {
        {"#32770", caption, 0, nullptr, true},
        {"#32770", nullptr, 0, nullptr, true},
        {nullptr, caption, 0, nullptr, true},
        {"Button", caption, 0, nullptr, false},
        {"#32770", "Downloading", 0, nullptr, false},  // captions compare whole
        {"#32770", "downloading software...", 0, nullptr, false},
        {nullptr, caption, IDC_STATUS_TEXT, "client.cab", true},
        {nullptr, caption, IDC_STATUS_TEXT, "elsewhere", false},
        {nullptr, caption, IDC_ADDRESS, nullptr, false},  // no such control
    };
    for (const Case& c : cases) {
        WindowQuery query;
        query.className = c.className;
        query.caption = c.caption;
        query.controlId = c.controlId;
        query.controlText = c.controlText;
        HWND found = session.person.FindTopWindow(query);
        EXPECT_EQ(c.found ? session.dialog : nullptr, found)
            << (c.className ? c.className : "-") << " / " << (c.caption ? c.caption : "-") << " / "
            << c.controlId;
    }
    // Only this process's windows are candidates.
    Person stranger(GetCurrentProcessId());
    EXPECT_EQ(nullptr, stranger.WaitForDialog(caption, briefLook));
}

TEST(Driver, ReadsControlTextsStatesAndRectangles) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    HWND dialog = session.dialog;
    EXPECT_EQ("#32770", Person::ClassName(dialog));
    EXPECT_EQ(caption, Person::Text(dialog));
    EXPECT_EQ(initialStatus, Person::ControlText(dialog, IDC_STATUS_TEXT));
    EXPECT_EQ("&Quit", Person::ControlText(dialog, IDC_QUIT));
    EXPECT_EQ("&Suspend", Person::ControlText(dialog, IDC_SUSPEND));
    EXPECT_EQ("", Person::ControlText(dialog, IDC_ADDRESS));
    EXPECT_TRUE(Person::IsShown(dialog));
    EXPECT_TRUE(Person::IsEnabled(GetDlgItem(dialog, IDC_QUIT)));

    RECT frame = Person::Rectangle(dialog);
    RECT quit = Person::Rectangle(GetDlgItem(dialog, IDC_QUIT));
    RECT suspend = Person::Rectangle(GetDlgItem(dialog, IDC_SUSPEND));
    EXPECT_GT(frame.right - frame.left, 200);
    EXPECT_GT(frame.bottom - frame.top, 100);
    RECT inside;
    EXPECT_TRUE(IntersectRect(&inside, &frame, &quit) && EqualRect(&inside, &quit));
    EXPECT_LT(suspend.right, quit.left);  // Suspend sits left of Quit
    EXPECT_EQ(suspend.top, quit.top);
}

TEST(Driver, ReadsListRowsAndProgressOfTheOtherProcess) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    HWND list = GetDlgItem(session.dialog, IDC_COMPONENT_LIST);
    ASSERT_EQ(3, Person::RowCount(list));
    ASSERT_EQ(3, Person::ColumnCount(list));
    EXPECT_EQ("Component", Person::ColumnTitle(list, 0));
    EXPECT_EQ("Size", Person::ColumnTitle(list, 1));
    EXPECT_EQ("Status", Person::ColumnTitle(list, 2));
    std::vector<std::vector<std::string>> expected = {
        {"Halverd client", "2048K", "Need to download."},
        {"Runtime library", "512K", "Has been downloaded."},
        {"Fonts", "96K", "Already installed"},
    };
    EXPECT_EQ(expected, Person::Rows(list));
    EXPECT_EQ("", Person::CellText(list, 3, 0));  // past the last row
    EXPECT_EQ(-1, Person::RowCount(nullptr));

    ProgressState progress = Person::Progress(GetDlgItem(session.dialog, IDC_PROGRESS));
    EXPECT_EQ(0, progress.low);
    EXPECT_EQ(48, progress.high);
    EXPECT_EQ(12, progress.position);
}

TEST(Driver, QuitAsksAndNoKeepsTheDialog) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    ASSERT_TRUE(Person::Press(session.dialog, IDC_QUIT));
    HWND box = session.person.WaitForMessageBox(questionTitle, "really want to quit", patience);
    ASSERT_NE(nullptr, box) << session.person.DescribeWindows();
    EXPECT_EQ("Do you really want to quit the driver target?", Person::MessageText(box));
    EXPECT_NE(nullptr, GetDlgItem(box, IDYES));
    EXPECT_NE(nullptr, GetDlgItem(box, IDNO));
    // The box holds the dialog: a person cannot click behind it.
    EXPECT_FALSE(Person::Press(session.dialog, IDC_SUSPEND));

    ASSERT_TRUE(Person::Answer(box, IDNO));
    EXPECT_TRUE(session.person.WaitUntilGone(box, patience));
    HWND status = GetDlgItem(session.dialog, IDC_STATUS_TEXT);
    EXPECT_TRUE(session.person.WaitForText(status, "Quit declined 1 time(s)", patience))
        << Person::Text(status);
    EXPECT_TRUE(Person::IsShown(session.dialog));
    EXPECT_TRUE(Person::IsEnabled(session.dialog));
}

TEST(Driver, EscapeAsksLikeQuitAndYesEndsTheProcess) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    ASSERT_TRUE(session.person.PressEscape(session.dialog));
    HWND box = session.person.WaitForMessageBox(questionTitle, nullptr, patience);
    ASSERT_NE(nullptr, box) << session.person.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDYES));
    EXPECT_EQ(IDYES, session.process.WaitForExit(patience));
}

TEST(Driver, EnterPostedCommandAndSuspendReachTheDialog) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    HWND status = GetDlgItem(session.dialog, IDC_STATUS_TEXT);
    ASSERT_TRUE(session.person.PressEnter(session.dialog));
    EXPECT_TRUE(session.person.WaitForText(status, "Enter pressed", patience))
        << Person::Text(status);
    ASSERT_TRUE(Person::PostCommand(session.dialog, IDM_TRAY_OPEN));
    EXPECT_TRUE(session.person.WaitForText(status, "Open command received", patience))
        << Person::Text(status);
    ASSERT_TRUE(Person::Press(session.dialog, IDC_SUSPEND));
    EXPECT_EQ(IDC_SUSPEND, session.process.WaitForExit(patience));
}

TEST(Driver, SentEndOfSessionIsAnsweredAndEndsTheProcess) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    LRESULT answer = 0;
    ASSERT_TRUE(Person::Send(session.dialog, WM_QUERYENDSESSION, 0, 0, &answer, patience));
    EXPECT_EQ(TRUE, answer);
    EXPECT_EQ(sessionEndCode, session.process.WaitForExit(patience));
}

TEST(Driver, DisabledButtonsCannotBePressedButEscapeStillAsks) {
    TargetSession session("-locked");
    ASSERT_TARGET_SHOWN(session);
    EXPECT_FALSE(Person::IsEnabled(GetDlgItem(session.dialog, IDC_QUIT)));
    EXPECT_FALSE(Person::Press(session.dialog, IDC_QUIT));
    EXPECT_FALSE(Person::Press(session.dialog, IDC_SUSPEND));
    EXPECT_FALSE(Person::Press(session.dialog, IDC_ADDRESS));  // no such control
    EXPECT_EQ(nullptr, session.person.WaitForMessageBox(questionTitle, nullptr, briefLook));

    ASSERT_TRUE(session.person.PressEscape(session.dialog));
    HWND box = session.person.WaitForMessageBox(questionTitle, nullptr, patience);
    ASSERT_NE(nullptr, box) << session.person.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDYES));
    EXPECT_EQ(IDYES, session.process.WaitForExit(patience));
}

TEST(Driver, ReadsBackTheShellLinkTheTargetWrote) {
    ScratchDirectory folder;
    TargetSession session("-link " + folder.Path());
    ASSERT_TARGET_SHOWN(session);
    ShellLinkContents link;
    ASSERT_TRUE(ReadShellLink(folder.Path() + "\\Driver Target.lnk", &link));
    EXPECT_EQ(0, lstrcmpiA((ModuleDirectory() + "\\" + target).c_str(), link.target.c_str()))
        << link.target;
    EXPECT_EQ(" -locked -from-link", link.arguments);  // the leading blank is kept
    EXPECT_FALSE(ReadShellLink(folder.Path() + "\\Missing.lnk", &link));

    std::string user = UserStartupFolder(), common = CommonStartupFolder();
    EXPECT_FALSE(user.empty());
    EXPECT_FALSE(common.empty());
    EXPECT_NE(user, common);
}

TEST(Driver, ScreenshotsHoldTheRealRendering) {
    TargetSession session;
    ASSERT_TARGET_SHOWN(session);
    ScratchDirectory folder;
    std::string path = folder.Path() + "\\dialog.bmp";
    ScreenshotSize size;
    ASSERT_TRUE(SaveScreenshot(session.dialog, path, &size));
    RECT frame = Person::Rectangle(session.dialog);
    EXPECT_EQ(frame.right - frame.left, size.width);
    EXPECT_EQ(frame.bottom - frame.top, size.height);

    std::string text = ReadWholeFile(path);
    std::vector<unsigned char> bytes(text.begin(), text.end());
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ('B', bytes[0]);
    EXPECT_EQ('M', bytes[1]);
    size_t offset = static_cast<size_t>(LittleEndian32(bytes, 10));
    EXPECT_EQ(size.width, LittleEndian32(bytes, 18));
    EXPECT_EQ(size.height, LittleEndian32(bytes, 22));
    size_t stride = (static_cast<size_t>(size.width) * 3 + 3) & ~static_cast<size_t>(3);
    ASSERT_EQ(offset + stride * size.height, bytes.size());
    // A rendered dialog has a frame, text and controls: its pixels are not all alike.
    size_t differing = 0;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            size_t i = offset + y * stride + x * 3;
            if (bytes[i] != bytes[offset] || bytes[i + 1] != bytes[offset + 1] ||
                bytes[i + 2] != bytes[offset + 2])
                ++differing;
        }
    EXPECT_GT(differing, static_cast<size_t>(size.width));

    const char* keep = getenv("DRIVER_SCREENSHOT_DIR");  // to keep a picture for the docs
    if (keep != nullptr) SaveScreenshot(session.dialog, std::string(keep) + "\\driver_target.bmp");

    ScreenshotSize screen;
    ASSERT_TRUE(SaveScreenshot(nullptr, folder.Path() + "\\screen.bmp", &screen));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screen.width);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), screen.height);
}
