// The prompt dialogs and the HTTP settings dialog as a user meets them: while the test's
// thread runs the modal loop, a second thread waits for the dialog, notes where it
// appeared and what it shows, then types, clicks and presses keys.
#include "ui/prompt_dialogs_win.h"

#include "message_pump.h"
#include "shell/resource_ids.h"
#include "transfer/messages_win.h"

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>

namespace {

const DWORD kWaitMs = 5000;
const DWORD kStepMs = 10;
// Ends a dialog that the user's action left open, so that a fault fails the test
// instead of hanging it. No test expects this end code.
const WPARAM kLeftOpen = IDC_QUIT;
const int kFieldCount = 7;
const int kKept = HttpSettingsDialog::kFieldSize - 1;

using UserAction = std::function<void(HWND dialog)>;

struct UserSession {
    const char* caption;
    UserAction act;
    HWND dialog;
    bool leftOpen;
};

// A visible dialog of this process with the caption: it becomes visible once
// WM_INITDIALOG has been handled. Another program's message box may carry the same title.
HWND FindOwnDialog(const char* caption) {
    for (HWND found = FindWindowExA(nullptr, nullptr, "#32770", caption); found != nullptr;
         found = FindWindowExA(nullptr, found, "#32770", caption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(found)) return found;
    }
    return nullptr;
}

DWORD WINAPI RunUser(void* parameter) {
    UserSession* session = static_cast<UserSession*>(parameter);
    for (DWORD waited = 0; waited < kWaitMs; waited += kStepMs) {
        session->dialog = FindOwnDialog(session->caption);
        if (session->dialog != nullptr) break;
        Sleep(kStepMs);
    }
    if (session->dialog == nullptr) return 0;
    session->act(session->dialog);
    for (DWORD waited = 0; IsWindow(session->dialog) && waited < kWaitMs; waited += kStepMs)
        Sleep(kStepMs);
    if (IsWindow(session->dialog)) {
        session->leftOpen = true;
        PostMessageA(session->dialog, WM_COMMAND, kLeftOpen, 0);
    }
    return 0;
}

// Shows the dialog modally without an owner and lets the user act on it; the end code.
INT_PTR ShowAsUser(Dialog& dialog, const char* caption, const UserAction& act) {
    UserSession session = {caption, act, nullptr, false};
    HANDLE user = CreateThread(nullptr, 0, RunUser, &session, 0, nullptr);
    INT_PTR result = dialog.DoModal(nullptr);
    // The user's thread ends within its own bounded waits.
    WaitForSingleObject(user, INFINITE);
    CloseHandle(user);
    EXPECT_NE(nullptr, session.dialog) << caption << " did not appear";
    EXPECT_FALSE(session.leftOpen) << caption << " stayed open";
    return result;
}

HWND FocusedControl(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// A real keystroke: the dialog manager of the modal loop sees it at the focused control.
void PressKey(HWND dialog, UINT key) {
    HWND target = FocusedControl(dialog);
    if (target == nullptr) target = dialog;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// What the dialog manager sends for Escape when it has no key to translate.
void SendCommand(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, id, 0); }

void Type(HWND dialog, int id, const char* text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string TextOf(HWND dialog, int id) {
    char text[2048];
    text[0] = '\0';
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// Where the dialog appeared and what had the focus and the foreground.
struct Appearance {
    RECT rect;
    HWND foreground;
    HWND focus;
};

Appearance Observe(HWND dialog) {
    Appearance seen = {};
    GetWindowRect(dialog, &seen.rect);
    seen.foreground = GetForegroundWindow();
    seen.focus = FocusedControl(dialog);
    return seen;
}

void ExpectCentred(const Appearance& seen) {
    int width = seen.rect.right - seen.rect.left, height = seen.rect.bottom - seen.rect.top;
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - width) / 2, seen.rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - height) / 2, seen.rect.top);
}

class PromptDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        SetInstance(GetModuleHandleA(nullptr));
        InitCommonControls();
    }
};

struct PromptCase {
    UINT templateId;
    const char* caption;
};

const PromptCase kPrompts[] = {
    {IDD_WELCOME, "Corvane Lite Installer"},
    {IDD_READY_TO_INSTALL, "Ready to Install"},
    {IDD_CANCEL_INSTALLATION, "Cancel Installation"},
};

struct AnswerCase {
    const char* name;
    UserAction answer;
    INT_PTR endCode;
};

// Every answer, and on every showing: centred on the screen and in the foreground.
TEST_F(PromptDialogs, AppearCentredAndEndWithTheAnswerGiven) {
    const AnswerCase answers[] = {
        {"Enter", [](HWND d) { PressKey(d, VK_RETURN); }, IDOK},
        {"default button", [](HWND d) { Click(d, IDOK); }, IDOK},
        {"second button", [](HWND d) { Click(d, IDC_SECOND_CHOICE); }, IDC_SECOND_CHOICE},
        {"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, IDCANCEL},
        {"Escape command", [](HWND d) { SendCommand(d, IDCANCEL); }, IDCANCEL},
    };
    for (const PromptCase& prompt : kPrompts) {
        for (const AnswerCase& answer : answers) {
            SCOPED_TRACE(std::string(prompt.caption) + ": " + answer.name);
            PromptDialog dialog(prompt.templateId);
            HWND shown = nullptr;
            Appearance seen = {};
            INT_PTR result = ShowAsUser(dialog, prompt.caption, [&](HWND d) {
                shown = d;
                seen = Observe(d);
                answer.answer(d);
            });
            EXPECT_EQ(answer.endCode, result);
            ExpectCentred(seen);
            EXPECT_EQ(shown, seen.foreground);
            EXPECT_EQ(shown, dialog.windowHandle);
        }
    }
}

TEST_F(PromptDialogs, MissingTemplateIsRefused) {
    PromptDialog dialog(4242);
    EXPECT_EQ(-1, dialog.DoModal(nullptr));
}

// The HTTP settings dialog ---------------------------------------------------------------

const int kFieldIds[kFieldCount] = {IDC_PROXY_HOST,     IDC_PROXY_PORT, IDC_PROXY_USER,
                                    IDC_PROXY_PASSWORD, IDC_ADDRESS,    IDC_SITE_USER,
                                    IDC_SITE_PASSWORD};
const int kAddressIndex = 4;
const char kCaption[] = "HTTP Settings";

const char* FieldOf(const HttpSettingsDialog& dialog, int index) {
    const char* fields[kFieldCount] = {dialog.proxyHost,     dialog.proxyPort, dialog.proxyUser,
                                       dialog.proxyPassword, dialog.address,   dialog.siteUser,
                                       dialog.sitePassword};
    return fields[index];
}

// The dialog followed by bytes that a read-back running past the last field would change.
struct GuardedSettings {
    static const char kCanary = '\x5A';

    GuardedSettings(const char* proxyHost, const char* proxyPort, const char* proxyUser,
                    const char* proxyPassword, const char* serverAddress,
                    const char* remoteDirectory, const char* userName, const char* password)
        : dialog(proxyHost, proxyPort, proxyUser, proxyPassword, serverAddress, remoteDirectory,
                 userName, password) {
        memset(canary, kCanary, sizeof(canary));
    }

    bool CanaryIntact() const {
        for (char c : canary)
            if (c != kCanary) return false;
        return true;
    }

    HttpSettingsDialog dialog;
    char canary[64];
};

const char* const kShown[kFieldCount] = {
    "proxy.example", "8080", "puser", "ppass", "http://files.example/halverd/", "suser", "spass"};
const char* const kTyped[kFieldCount] = {"10.0.0.1",          "3128", "alice",  "secret",
                                         "http://elsewhere/", "bob",  "hunter2"};

struct SettingsAnswer {
    const char* name;
    UserAction answer;
    INT_PTR endCode;
    bool readBack;  // the six editable fields take what was typed
};

TEST_F(PromptDialogs, HttpSettingsReadBackOnlyOnOk) {
    const SettingsAnswer answers[] = {
        {"OK button", [](HWND d) { Click(d, IDOK); }, IDOK, true},
        {"Enter", [](HWND d) { PressKey(d, VK_RETURN); }, IDOK, true},
        {"Cancel button", [](HWND d) { Click(d, IDC_SECOND_CHOICE); }, IDC_SECOND_CHOICE, false},
        {"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, IDCANCEL, false},
        {"Escape command", [](HWND d) { SendCommand(d, IDCANCEL); }, IDCANCEL, false},
    };
    for (const SettingsAnswer& answer : answers) {
        SCOPED_TRACE(answer.name);
        GuardedSettings settings(kShown[0], kShown[1], kShown[2], kShown[3], "http://files.example",
                                 "/halverd/", kShown[5], kShown[6]);
        std::string shownTexts[kFieldCount];
        Appearance seen = {};
        HWND shown = nullptr, siteUserControl = nullptr;
        bool addressEnabled = true;
        INT_PTR result = ShowAsUser(settings.dialog, kCaption, [&](HWND d) {
            shown = d;
            seen = Observe(d);
            siteUserControl = GetDlgItem(d, IDC_SITE_USER);
            addressEnabled = IsWindowEnabled(GetDlgItem(d, IDC_ADDRESS)) != FALSE;
            for (int i = 0; i < kFieldCount; ++i) {
                shownTexts[i] = TextOf(d, kFieldIds[i]);
                // The address is changed as well, although no user could do that.
                Type(d, kFieldIds[i], kTyped[i]);
            }
            answer.answer(d);
        });
        EXPECT_EQ(answer.endCode, result);
        ExpectCentred(seen);
        EXPECT_EQ(shown, seen.foreground);
        EXPECT_EQ(siteUserControl, seen.focus) << "focus starts at the server user name";
        EXPECT_FALSE(addressEnabled);
        for (int i = 0; i < kFieldCount; ++i) {
            SCOPED_TRACE(kFieldIds[i]);
            EXPECT_EQ(kShown[i], shownTexts[i]);
            bool typed = answer.readBack && i != kAddressIndex;
            EXPECT_STREQ(typed ? kTyped[i] : kShown[i], FieldOf(settings.dialog, i));
        }
        EXPECT_TRUE(settings.CanaryIntact());
    }
}

struct ModalRun {
    Dialog* dialog;
    INT_PTR result;
};

DWORD WINAPI RunModal(void* parameter) {
    ModalRun* run = static_cast<ModalRun*>(parameter);
    run->result = run->dialog->DoModal(nullptr);
    return 0;
}

// The fetch thread's request, sent to a window of the interface thread as the worker
// sends it to the download dialog.
struct SentRequest {
    HWND window;
    HttpSettingsRequest* request;
    LRESULT answer;
};

DWORD WINAPI SendRequest(void* parameter) {
    SentRequest* sent = static_cast<SentRequest*>(parameter);
    sent->answer = SendMessageA(sent->window, msgHttpSettingsWanted, 0,
                                reinterpret_cast<LPARAM>(sent->request));
    return 0;
}

LRESULT CALLBACK AnsweringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == msgHttpSettingsWanted)
        return AskForHttpSettings(*reinterpret_cast<HttpSettingsRequest*>(lParam)) ? 1 : 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// The dialog runs on the thread of the window asked, while the fetch thread waits for
// the answer: try again (OK with what was typed, Escape with what was shown) or stop.
TEST_F(PromptDialogs, HttpSettingsAnswerTheFetchThreadOnTheInterfaceThread) {
    struct Case {
        const char* name;
        UserAction act;
        LRESULT answer;
        bool typed;
    } cases[] = {
        {"Enter",
         [](HWND d) {
             Type(d, IDC_PROXY_USER, "alice");
             PressKey(d, VK_RETURN);
         },
         1, true},
        {"Escape",
         [](HWND d) {
             Type(d, IDC_PROXY_USER, "alice");
             PressKey(d, VK_ESCAPE);
         },
         1, false},
        {"Cancel button",
         [](HWND d) {
             Type(d, IDC_PROXY_USER, "alice");
             Click(d, IDC_SECOND_CHOICE);
         },
         0, false},
    };
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = AnsweringProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SettingsRequestAnswer";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionSettings settings = {};
        CopyText(settings.proxyHost, kShown[0]);
        CopyText(settings.proxyUser, kShown[2]);
        CopyText(settings.siteUser, kShown[5]);
        volatile LONG cancel = 0;
        HttpSettingsRequest request = {&settings, "http://files.example", "/halverd/", &cancel};
        SentRequest sent = {window, &request, -1};
        DWORD dialogThread = 0;
        UserSession session = {kCaption,
                               [&](HWND d) {
                                   dialogThread = GetWindowThreadProcessId(d, nullptr);
                                   c.act(d);
                               },
                               nullptr, false};
        HANDLE user = CreateThread(nullptr, 0, RunUser, &session, 0, nullptr);
        HANDLE fetch = CreateThread(nullptr, 0, SendRequest, &sent, 0, nullptr);
        EXPECT_TRUE(
            PumpUntil([&] { return WaitForSingleObject(fetch, 0) == WAIT_OBJECT_0; }, 2 * kWaitMs));
        WaitForSingleObject(user, INFINITE);
        CloseHandle(user);
        CloseHandle(fetch);
        EXPECT_FALSE(session.leftOpen);
        EXPECT_EQ(GetCurrentThreadId(), dialogThread);
        EXPECT_EQ(c.answer, sent.answer);
        EXPECT_STREQ(c.typed ? "alice" : kShown[2], settings.proxyUser);
        EXPECT_STREQ(kShown[0], settings.proxyHost);
        EXPECT_STREQ(kShown[5], settings.siteUser);
    }
    DestroyWindow(window);
}

TEST_F(PromptDialogs, HttpSettingsCutLongInputAtTheFieldSize) {
    // Every field gets its own letter, so that a text running into its neighbour shows.
    const size_t lengths[] = {kKept - 1, kKept, kKept + 1, 1500};
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        GuardedSettings settings(kShown[0], kShown[1], kShown[2], kShown[3], "http://files.example",
                                 "/halverd/", kShown[5], kShown[6]);
        std::string typed[kFieldCount];
        for (int i = 0; i < kFieldCount; ++i) typed[i].assign(length, static_cast<char>('a' + i));
        INT_PTR result = ShowAsUser(settings.dialog, kCaption, [&](HWND d) {
            for (int i = 0; i < kFieldCount; ++i) Type(d, kFieldIds[i], typed[i].c_str());
            Click(d, IDOK);
        });
        EXPECT_EQ(IDOK, result);
        for (int i = 0; i < kFieldCount; ++i) {
            SCOPED_TRACE(kFieldIds[i]);
            std::string expected =
                i == kAddressIndex ? kShown[i] : typed[i].substr(0, static_cast<size_t>(kKept));
            EXPECT_EQ(expected, FieldOf(settings.dialog, i));
        }
        EXPECT_TRUE(settings.CanaryIntact());
    }
}

TEST_F(PromptDialogs, HttpSettingsShowFullLengthTextsUnchanged) {
    std::string full[kFieldCount];
    for (int i = 0; i < kFieldCount; ++i) full[i].assign(kKept, static_cast<char>('A' + i));
    std::string server = full[kAddressIndex].substr(0, 200);
    std::string directory = full[kAddressIndex].substr(200);
    HttpSettingsDialog dialog(full[0].c_str(), full[1].c_str(), full[2].c_str(), full[3].c_str(),
                              server.c_str(), directory.c_str(), full[5].c_str(), full[6].c_str());
    std::string shownTexts[kFieldCount];
    INT_PTR result = ShowAsUser(dialog, kCaption, [&](HWND d) {
        for (int i = 0; i < kFieldCount; ++i) shownTexts[i] = TextOf(d, kFieldIds[i]);
        PressKey(d, VK_RETURN);
    });
    EXPECT_EQ(IDOK, result);
    for (int i = 0; i < kFieldCount; ++i) {
        SCOPED_TRACE(kFieldIds[i]);
        EXPECT_EQ(full[i], shownTexts[i]);
        EXPECT_EQ(full[i], FieldOf(dialog, i));
    }
}

TEST_F(PromptDialogs, HttpSettingsWithoutArgumentsShowEmptyFields) {
    HttpSettingsDialog dialog(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr);
    std::string shownTexts[kFieldCount];
    INT_PTR result = ShowAsUser(dialog, kCaption, [&](HWND d) {
        for (int i = 0; i < kFieldCount; ++i) shownTexts[i] = TextOf(d, kFieldIds[i]);
        Type(d, IDC_PROXY_PORT, "80");
        Click(d, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    for (int i = 0; i < kFieldCount; ++i) {
        SCOPED_TRACE(kFieldIds[i]);
        EXPECT_EQ("", shownTexts[i]);
        EXPECT_STREQ(kFieldIds[i] == IDC_PROXY_PORT ? "80" : "", FieldOf(dialog, i));
    }
}

TEST_F(PromptDialogs, HttpSettingsAddressJoinsServerAndDirectoryWhenBothAreGiven) {
    const std::string longServer(200, 's'), longDirectory(100, 'd');
    const std::string tooLongServer(400, 't');
    struct Case {
        const char* server;
        const char* directory;
        std::string address;
    };
    const Case cases[] = {
        {"http://files.example", "/halverd/", "http://files.example/halverd/"},
        {"http://files.example", nullptr, ""},
        {nullptr, "/halverd/", ""},
        {nullptr, nullptr, ""},
        {"", "/halverd/", "/halverd/"},
        {"http://files.example", "", "http://files.example"},
        {longServer.c_str(), longDirectory.c_str(), longServer + std::string(kKept - 200, 'd')},
        {tooLongServer.c_str(), "/x", tooLongServer.substr(0, kKept)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server ? c.server : "(null)") + " + " +
                     (c.directory ? c.directory : "(null)"));
        GuardedSettings settings("h", "p", "u", "w", c.server, c.directory, "su", "sp");
        EXPECT_EQ(c.address, settings.dialog.address);
        EXPECT_STREQ("u", settings.dialog.proxyUser);
        EXPECT_STREQ("su", settings.dialog.siteUser);
        EXPECT_TRUE(settings.CanaryIntact());
    }
}

TEST_F(PromptDialogs, HttpSettingsCutLongArguments) {
    const std::string longText(400, 'q');
    GuardedSettings settings(longText.c_str(), longText.c_str(), longText.c_str(), longText.c_str(),
                             nullptr, nullptr, longText.c_str(), longText.c_str());
    for (int i = 0; i < kFieldCount; ++i) {
        SCOPED_TRACE(kFieldIds[i]);
        EXPECT_EQ(i == kAddressIndex ? std::string() : longText.substr(0, kKept),
                  FieldOf(settings.dialog, i));
    }
    EXPECT_TRUE(settings.CanaryIntact());
}

}  // namespace

// The dialog closes by itself, as Cancel, once its cancel flag is raised (the run is
// ending), also by another thread; raised before it shows, it never shows.
TEST_F(PromptDialogs, HttpSettingsCloseWhenTheirCancelFlagIsRaised) {
    struct Case {
        const char* what;
        bool raisedBefore;
    } cases[] = {{"raised while shown", false}, {"raised before", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        volatile LONG cancel = c.raisedBefore ? 1 : 0;
        HttpSettingsDialog dialog(kShown[0], kShown[1], kShown[2], kShown[3],
                                  "http://files.example", "/halverd/", kShown[5], kShown[6]);
        dialog.SetCancelFlag(&cancel);
        ModalRun run = {&dialog, 0};
        HANDLE fetch = CreateThread(nullptr, 0, RunModal, &run, 0, nullptr);
        if (!c.raisedBefore) {
            HWND shown = nullptr;
            DWORD start = GetTickCount();
            while (shown == nullptr && GetTickCount() - start < 10000) {
                shown = FindWindowA(nullptr, kCaption);
                Sleep(20);
            }
            ASSERT_NE(nullptr, shown);
            InterlockedExchange(&cancel, 1);
        }
        DWORD raised = GetTickCount();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(fetch, 5000));
        EXPECT_LT(GetTickCount() - raised, 1000u);
        CloseHandle(fetch);
        EXPECT_EQ(IDC_SECOND_CHOICE, run.result);
        EXPECT_STREQ(kShown[2], dialog.proxyUser);
    }
}
