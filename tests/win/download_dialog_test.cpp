// The download controller in a hidden or shown dialog 101, driven by a scripted
// worker that records what the controller asks and lets the test send the reports
// a real worker would send.
#include "config/component_table_win.h"
#include "config/string_table.h"
#include "install/state_profile_win.h"
#include "process_support.h"
#include "shell/process_state_win.h"
#include "config/work_directory_win.h"
#include "startup/startup_shortcut_win.h"
#include "transfer/messages_win.h"
#include "startup/download_run_win.h"
#include "ui/download_dialog_win.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class ScriptedWorker : public TransferWorker {
public:
    int Connect(const char* site, const char*, const char*) override {
        calls.push_back(std::string("connect ") + site);
        return 1;
    }
    int Disconnect() override {
        calls.push_back("disconnect");
        return 0;
    }
    int RequestFile(const char* remote, const char* local) override {
        calls.push_back(std::string("request ") + remote + " -> " + local);
        return acceptRequests;
    }
    void SetLogin(const char* user, const char* password) override {
        calls.push_back(std::string("login ") + user + " " + password);
    }
    void SetProxyLogin(const char* user, const char* password) override {
        calls.push_back(std::string("proxy login ") + user + " " + password);
    }
    std::vector<std::string> calls;
    int acceptRequests = 1;
};

// Runs a script inside the dialog once it has initialised, then ends it. "dldone"
// is recorded instead of starting the installation.
class ScriptedDialog : public DownloadDialog {
public:
    ScriptedDialog(char* work, const char* description, bool resumingRun = false)
        : DownloadDialog(work, false, resumingRun, description, false) {}

    TransferWorker* SelectWorker(ProtocolKind) override { return &worker; }

    // As a run opens its dialog: the descriptions read first, then the dialog.
    INT_PTR DoModal(HWND owner) {
        if (PrepareDownloadRun(*this) != DescriptionsRead) return -1;
        return DownloadDialog::DoModal(owner);
    }

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == msgRunOver) {
            doneResults.push_back(static_cast<int>(wParam));
            return 1;
        }
        INT_PTR result = DownloadDialog::DialogProc(message, wParam, lParam);
        if (message == WM_INITDIALOG) {
            if (script) script(*this);
            MSG m;  // deliver what the script posted
            while (PeekMessageA(&m, windowHandle, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
            if (script) script = nullptr;
            if (endAfterScript) EndDialog(windowHandle, 4242);
        }
        return result;
    }

    void Report(UINT message, WPARAM wParam, LPARAM lParam) {
        SendMessageA(windowHandle, message, wParam, lParam);
        MSG m;
        while (PeekMessageA(&m, windowHandle, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    std::string Status() {
        char text[512] = {};
        GetWindowTextA(statusText, text, sizeof text);
        return text;
    }
    std::string RowStatus(int row) {
        char text[128] = {};
        LVITEMA item = {};
        item.iSubItem = 2;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    int ProgressHigh() {
        return static_cast<int>(
            SendMessageA(GetDlgItem(windowHandle, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0));
    }
    int ProgressPosition() {
        return static_cast<int>(
            SendMessageA(GetDlgItem(windowHandle, IDC_PROGRESS), PBM_GETPOS, 0, 0));
    }

    ScriptedWorker worker;
    std::function<void(ScriptedDialog&)> script;
    std::vector<int> doneResults;
    bool endAfterScript = true;
};

class DownloadController : public ::testing::Test {
protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        SetInstance(g_instance);
        InitCommonControls();
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        EmptyStringTableForTests();
        GetStateProfilePath(stateProfile);
        DeleteFileA(stateProfile);
        CopyText(workPath, work.Path().c_str());
        g_shuttingDown = false;
    }
    void TearDown() override {
        SetStartupShortcut(false, nullptr, nullptr);
        DeleteFileA(stateProfile);
        EmptyStringTableForTests();
        WSACleanup();
    }
    std::string Description(const std::string& text) {
        std::string path = work.Path() + "\\desc.inf";
        WriteWholeFile(path, text);
        return path;
    }
    std::string Work(const std::string& name) { return work.Path() + "\\" + name; }

    ScratchDirectory work;
    char workPath[260];
    char stateProfile[260];
};

const char twoComponents[] =
    "[defs]\r\ncomponents=two,one\r\n"
    "[one]\r\nname=One\r\nsite=Example.org\r\nfiles=a.bin, sub\\b.bin\r\nsourceDir=pub\r\n"
    "Protocol=http\r\nuser=u\r\npassword=p\r\nproxyuser=pu\r\nproxypassword=pp\r\n"
    "DisplayOrder=1\r\n"
    "[two]\r\nname=Two\r\nsite=example.ORG\r\nfiles=c.bin\r\nsourceDir=pub2\r\nProtocol=http\r\n"
    "DisplayOrder=2\r\n";

}  // namespace

TEST_F(DownloadController, ConnectsOnceFetchesEveryFileAndRenamesIt) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    std::string tmp = Work("tmp.tmp");
    dialog.script = [&](ScriptedDialog& d) {
        ASSERT_EQ(3u, d.worker.calls.size());
        EXPECT_EQ("login u p", d.worker.calls[0]);
        EXPECT_EQ("proxy login pu pp", d.worker.calls[1]);
        EXPECT_EQ("connect Example.org", d.worker.calls[2]);
        EXPECT_EQ("Connecting to 'Example.org'...", d.Status());
        EXPECT_EQ("Downloading...", d.RowStatus(0));

        d.Report(msgConnected, 0, 0);
        EXPECT_EQ("request pub/ -> " + tmp, d.worker.calls.back());
        EXPECT_EQ("Downloading file 'a.bin'...", d.Status());
        d.Report(msgFileStarted, 0, 10240);
        EXPECT_EQ(10000, d.ProgressHigh());
        d.Report(msgProgress, 0, 1536);
        EXPECT_EQ("Downloading file 'a.bin' (1K of 10K)...", d.Status());
        EXPECT_EQ(1500, d.ProgressPosition());
        d.Report(msgProgress, 0, 1600);
        EXPECT_EQ("Downloading file 'a.bin' (2K of 10K)...", d.Status());
        EXPECT_EQ(1562, d.ProgressPosition());
        WriteWholeFile(tmp, "A");
        d.Report(msgFileDone, 0, 0);
        EXPECT_EQ("A", ReadWholeFile(Work("a.bin")));
        EXPECT_FALSE(FileExists(tmp));
        EXPECT_EQ("Downloading file 'sub\\b.bin'...", d.Status());

        WriteWholeFile(tmp, "B");
        d.Report(msgFileDone, 0, 0);
        EXPECT_EQ("B", ReadWholeFile(Work("sub\\b.bin")));
        // The second component is on the same site, written in other case: no new connection.
        EXPECT_EQ("request pub2/ -> " + tmp, d.worker.calls.back());
        EXPECT_EQ(6u, d.worker.calls.size());
        EXPECT_EQ("Has been downloaded.", d.RowStatus(0));
        EXPECT_EQ("Downloading...", d.RowStatus(1));

        WriteWholeFile(tmp, "C");
        d.Report(msgFileDone, 0, 0);
        EXPECT_EQ("C", ReadWholeFile(Work("c.bin")));
        EXPECT_EQ("Has been downloaded.", d.RowStatus(1));
    };
    EXPECT_EQ(4242, dialog.DoModal(nullptr));
    ASSERT_EQ(1u, dialog.doneResults.size());
    EXPECT_EQ(0, dialog.doneResults[0]);
}

TEST_F(DownloadController, EveryFailureEndsTheRunWithItsText) {
    struct Case {
        const char* name;
        UINT message;
        int code;
        bool accept;
        const char* status;
        const char* row;
    };
    const Case cases[] = {
        {"lookup failed", msgConnected, 1, true, "Error: Unable to connect to 'Example.org'.",
         "Downloading..."},
        {"login failed", msgConnected, 3, true, "Error: Unable to connect to 'Example.org'.",
         "Downloading..."},
        {"refused item", msgFileStarted, 4, true,
         "Error in receiving file 'a.bin' from 'Example.org'.", "Download error"},
        {"receive failed", msgFileDone, 4, true,
         "Error in receiving file 'a.bin' from 'Example.org'.", "Download error"},
        {"disk full", msgFileDone, 5, true,
         "Error while downloading a.bin: Out of disk space. Remove some files and run again.",
         "Download error"},
        {"write denied", msgFileDone, 6, true,
         "Error while downloading a.bin: The file could not be written (access denied, or in "
         "use by another program).",
         "Download error"},
        {"request refused", 0, 0, false, "Downloading file 'a.bin'...", "Downloading..."},
    };
    for (const Case& c : cases) {
        EmptyStringTableForTests();
        std::string description = Description(twoComponents);
        ScriptedDialog dialog(workPath, description.c_str());
        dialog.worker.acceptRequests = c.accept ? 1 : 0;
        dialog.script = [&](ScriptedDialog& d) {
            if (c.message == msgConnected) {
                d.Report(msgConnected, c.code, 0);
            } else {
                d.Report(msgConnected, 0, 0);
                if (c.message != 0) d.Report(c.message, c.code, 0);
            }
            EXPECT_EQ(c.status, d.Status()) << c.name;
            EXPECT_EQ(c.row, d.RowStatus(0)) << c.name;
        };
        dialog.DoModal(nullptr);
        ASSERT_EQ(1u, dialog.doneResults.size()) << c.name;
        EXPECT_EQ(1, dialog.doneResults[0]) << c.name;
        EXPECT_FALSE(FileExists(Work("a.bin"))) << c.name;
    }
}

// The worker reports the file complete, but it cannot be renamed into place (held open by
// another program): the run fails, and the status line says why.
TEST_F(DownloadController, AFinishedFileThatCannotBeRenamedEndsTheRunWithItsText) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    std::string tmp = Work("tmp.tmp");
    dialog.script = [&](ScriptedDialog& d) {
        d.Report(msgConnected, 0, 0);
        WriteWholeFile(tmp, "A");
        HANDLE held = CreateFileA(tmp.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        d.Report(msgFileDone, 0, 0);
        CloseHandle(held);
        EXPECT_EQ(
            "Error while downloading a.bin: The file could not be written (access denied, "
            "or in use by another program).",
            d.Status());
        EXPECT_EQ("Download error", d.RowStatus(0));
    };
    dialog.DoModal(nullptr);
    ASSERT_EQ(1u, dialog.doneResults.size());
    EXPECT_EQ(1, dialog.doneResults[0]);
    EXPECT_FALSE(FileExists(Work("a.bin")));
    EXPECT_EQ("A", ReadWholeFile(tmp));
}

// "dl5": no server has answered yet; the status line says how long until the next try.
TEST_F(DownloadController, WaitingForTheNetworkIsShownInTheStatusLine) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.script = [&](ScriptedDialog& d) {
        d.Report(msgConnected, 0, 0);
        d.Report(msgWaitingForNetwork, 7, 0);
        EXPECT_EQ("Waiting for the network... (trying again in 7 s)", d.Status());
        d.Report(msgWaitingForNetwork, 1, 0);
        EXPECT_EQ("Waiting for the network... (trying again in 1 s)", d.Status());
        EXPECT_EQ("Downloading...", d.RowStatus(0));
    };
    dialog.DoModal(nullptr);
    EXPECT_TRUE(dialog.doneResults.empty());
}

TEST_F(DownloadController, UnknownAndHugeSizesKeepTheTextRight) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.script = [&](ScriptedDialog& d) {
        d.Report(msgConnected, 0, 0);
        // One range for every size: an unknown one leaves the bar empty, a large one
        // (64 MiB wrapped the old 16-bit range to 0) still moves it.
        d.Report(msgFileStarted, 0, -1);
        EXPECT_EQ(10000, d.ProgressHigh());
        d.Report(msgProgress, 0, 500);
        EXPECT_EQ("Downloading file 'a.bin' (0K of 0K)...", d.Status());
        EXPECT_EQ(0, d.ProgressPosition());
        d.Report(msgFileStarted, 0, 64 * 1024 * 1024);
        EXPECT_EQ(10000, d.ProgressHigh());
        d.Report(msgProgress, 0, 16 * 1024 * 1024);
        EXPECT_EQ(2500, d.ProgressPosition());
        d.Report(msgProgress, 0, 70 * 1024 * 1024);
        EXPECT_EQ("Downloading file 'a.bin' (71680K of 65536K)...", d.Status());
        EXPECT_EQ(10000, d.ProgressPosition());
    };
    dialog.DoModal(nullptr);
}

TEST_F(DownloadController, PresentFilesAreNotFetched) {
    WriteWholeFile(Work("a.bin"), "old");
    CreateDirectoryA(Work("sub").c_str(), nullptr);
    WriteWholeFile(Work("sub\\b.bin"), "old");
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.script = [&](ScriptedDialog& d) {
        // Component one is complete already: classified as downloaded, never connected for.
        EXPECT_EQ("Has been downloaded.", d.RowStatus(0));
        ASSERT_EQ(3u, d.worker.calls.size());
        EXPECT_EQ("connect example.ORG", d.worker.calls[2]);
        d.Report(msgConnected, 0, 0);
        EXPECT_EQ("request pub2/ -> " + Work("tmp.tmp"), d.worker.calls.back());
    };
    dialog.DoModal(nullptr);
    EXPECT_EQ("old", ReadWholeFile(Work("a.bin")));
}

TEST_F(DownloadController, OverlongFileNameEndsTheRun) {
    std::string description = Description(
        "[defs]\r\ncomponents=one\r\n[one]\r\nname=One\r\nsite=h\r\nProtocol=http\r\nfiles=" +
        std::string(250, 'x') + "\r\n");
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.DoModal(nullptr);
    ASSERT_EQ(1u, dialog.doneResults.size());
    EXPECT_EQ(1, dialog.doneResults[0]);
    EXPECT_TRUE(dialog.worker.calls.empty());
}

TEST_F(DownloadController, WindowsEndingSuspendsTheRun) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.script = [&](ScriptedDialog& d) {
        LRESULT allowed = SendMessageA(d.windowHandle, WM_QUERYENDSESSION, 0, 0);
        EXPECT_EQ(TRUE, allowed);
        EXPECT_TRUE(g_shuttingDown);
    };
    dialog.endAfterScript = false;
    EXPECT_EQ(1004, dialog.DoModal(nullptr));
    g_shuttingDown = false;
}

TEST_F(DownloadController, CaptionButtonsAndVisibilityFollowTheRun) {
    struct Case {
        const char* name;
        const char* defs;
        bool resuming;
        bool complete;
        bool visible;
        bool buttonsEnabled;
        const char* caption;
    };
    const Case cases[] = {
        {"network run", "", false, false, true, true, "Downloading Software..."},
        {"resumed", "", true, false, true, true, "Resuming Download of Software..."},
        {"no intervention", "allowintervention=FALSE\r\n", false, false, true, false,
         "Downloading Software..."},
        {"download complete", "", false, true, false, true, "Downloading Software..."},
    };
    for (const Case& c : cases) {
        EmptyStringTableForTests();
        if (c.complete) WritePrivateProfileStringA("download", "complete", "1", stateProfile);
        std::string description = Description(std::string("[defs]\r\n") + c.defs +
                                              "components=one\r\n[one]\r\nname=One\r\nsite=h\r\n"
                                              "files=a.bin\r\nProtocol=http\r\n");
        ScriptedDialog dialog(workPath, description.c_str(), c.resuming);
        bool visible = false, enabled = false;
        char caption[100] = {};
        int height = 0, quitTop = 0, dialogTop = 0;
        dialog.script = [&](ScriptedDialog& d) {
            visible = IsWindowVisible(d.windowHandle) != FALSE;
            enabled = IsWindowEnabled(GetDlgItem(d.windowHandle, IDC_QUIT)) &&
                      IsWindowEnabled(GetDlgItem(d.windowHandle, IDC_SUSPEND));
            GetWindowTextA(d.windowHandle, caption, sizeof caption);
            RECT r, q;
            GetWindowRect(d.windowHandle, &r);
            GetWindowRect(GetDlgItem(d.windowHandle, IDC_QUIT), &q);
            height = r.bottom - r.top;
            quitTop = q.top;
            dialogTop = r.top;
        };
        dialog.DoModal(nullptr);
        EXPECT_EQ(c.visible, visible) << c.name;
        EXPECT_EQ(c.buttonsEnabled, enabled) << c.name;
        EXPECT_STREQ(c.caption, caption) << c.name;
        if (!c.buttonsEnabled) {
            EXPECT_EQ(quitTop - dialogTop, height) << c.name;
        }
        EXPECT_EQ(0, GetPrivateProfileIntA("download", "complete", 7, stateProfile) == 1) << c.name;
    }
}

#include "driver/person.h"

namespace {

struct BoxAnswer {
    BoxAnswer(const char* fragment, int answer) : fragment(fragment), answer(answer) {}
    const char* fragment;
    int answer;
    bool answered = false;
    std::string text;
};

// Answers the next message box of this process that shows fragment, from a second
// thread, as the user would while the dialog's own thread waits in the box.
DWORD WINAPI AnswerBox(void* parameter) {
    BoxAnswer* box = static_cast<BoxAnswer*>(parameter);
    Person user(GetCurrentProcessId());
    HWND window = user.WaitForMessageBox("Corvane Lite Installer", box->fragment, 10000);
    if (window == nullptr) return 0;
    box->text = Person::MessageText(window);
    box->answered = Person::Answer(window, box->answer);
    return 0;
}

void SendWhileAnswering(HWND dialog, WPARAM command, BoxAnswer& box) {
    HANDLE thread = CreateThread(nullptr, 0, AnswerBox, &box, 0, nullptr);
    SendMessageA(dialog, WM_COMMAND, command, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

}  // namespace

TEST_F(DownloadController, QuitAndEscapeAskBeforeEndingTheRun) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.endAfterScript = false;
    BoxAnswer no("Are you sure", IDNO);
    BoxAnswer yes("Are you sure", IDYES);
    dialog.script = [&](ScriptedDialog& d) {
        SendWhileAnswering(d.windowHandle, IDC_QUIT, no);
        // No: the transfer goes on and the dialog stays.
        EXPECT_EQ(0, d.httpWorker.holdFlag);
        EXPECT_EQ(0, d.httpWorker.abortFlag);
        EXPECT_TRUE(IsWindowVisible(d.windowHandle));
        SendWhileAnswering(d.windowHandle, IDCANCEL, yes);  // Escape or the close box
    };
    EXPECT_EQ(1003, dialog.DoModal(nullptr));
    EXPECT_TRUE(no.answered);
    EXPECT_TRUE(yes.answered);
    EXPECT_EQ(
        "Are you sure you would like to quit downloading? All downloaded files will be "
        "deleted.",
        no.text);
}

TEST_F(DownloadController, SuspendStopsTheTransferAndEndsWith1004) {
    std::string description = Description(twoComponents);
    ScriptedDialog dialog(workPath, description.c_str());
    dialog.endAfterScript = false;
    dialog.script = [&](ScriptedDialog& d) {
        SendMessageA(d.windowHandle, WM_COMMAND, IDC_SUSPEND, 0);
    };
    EXPECT_EQ(1004, dialog.DoModal(nullptr));
    EXPECT_EQ(1, dialog.httpWorker.abortFlag);
}
