// Install actions carried out for real: programs started and waited for, files copied
// and unpacked into the client's directories, and the registry values the actions read
// and write, checked in the Wine prefix's own registry.
#include "install/install_actions_win.h"

#include "config/component_table_win.h"
#include "config/verified_files.h"
#include "process_support.h"
#include "signing_support.h"
#include "shell/process_state_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kInstallComponentsKey[] = "SOFTWARE\\Corvane\\Corvane\\InstallComponents";
const char kClientKey[] = "SOFTWARE\\Corvane\\Corvane";
const char kAppPathKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\corvane.exe";
const char kPublicComponentsKey[] = "Software\\Corvane\\Corvane\\Public\\Components";
const char kRegisterListKey[] = "Software\\Corvane\\Corvane\\ComponentsToRegister";
const char kSection[] = "ActionTestComponent";

// A string value (or its absence) read back; "<absent>" when there is none.
std::string ReadText(HKEY root, const char* key, const char* name) {
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<absent>";
    return buffer;
}

void WriteText(HKEY root, const char* key, const char* name, const std::string& text) {
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr));
    RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(handle);
}

void DeleteValue(HKEY root, const char* key, const char* name) {
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, name);
    RegCloseKey(handle);
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

// One registry value that a test changes; the value (and a key the test created) is put
// back as it was when the test ends.
class SavedValue {
public:
    SavedValue(HKEY root, const char* key, const char* name) : root(root), key(key), name(name) {
        keyExisted = KeyExists(root, key);
        DWORD size = 0;
        existed = RegGetValueA(root, key, name, RRF_RT_ANY, &type, nullptr, &size) == ERROR_SUCCESS;
        if (existed) {
            data.resize(size + 1);
            RegGetValueA(root, key, name, RRF_RT_ANY, &type, data.data(), &size);
            data.resize(size);
        }
    }
    ~SavedValue() {
        if (existed) {
            HKEY handle;
            RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
            RegSetValueExA(handle, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
            RegCloseKey(handle);
        } else {
            Absent();
        }
    }
    void Set(const std::string& text) { WriteText(root, key, name, text); }
    // The key is there, the value is not.
    void KeyOnly() {
        HKEY handle;
        RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
        RegCloseKey(handle);
        DeleteValue(root, key, name);
    }
    // Neither the value nor a key this test created.
    void Absent() {
        DeleteValue(root, key, name);
        if (!keyExisted) RegDeleteKeyA(root, key);
    }

private:
    HKEY root;
    const char* key;
    const char* name;
    bool keyExisted;
    bool existed;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Common ground of the suites: a component whose files are in a scratch work directory,
// the client's registry entries absent, the process-wide flags reset.
class ActionTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_commandLine = "";
        g_deferredSetup = false;
        g_shuttingDown = false;
        appPath.Absent();
        dataPath.Absent();
        CopyText(workPath, work.Path().c_str());
        component = {};
        component.workDirectory = workPath;
        std::string description = work.Path() + "\\actions.inf";
        WriteWholeFile(description,
                       std::string("[") + kSection + "]\r\nname=Actions\r\nprotocol=http\r\n");
        CopyText(component.descriptionPath, description.c_str());
        CopyText(component.sectionName, kSection);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
    }
    void TearDown() override {
        g_commandLine = savedCommandLine;
        g_deferredSetup = savedDeferred;
        g_installCounter = savedCounter;
        g_shuttingDown = false;
        DeleteValue(HKEY_CURRENT_USER, kInstallComponentsKey, "Failed");
        DeleteValue(HKEY_CURRENT_USER, kInstallComponentsKey, "FailedMessage");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
    }

    int Perform(const std::string& entry) {
        char text[512];
        CopyText(text, entry.c_str());
        return PerformInstallAction(component, text);
    }
    // A fixture program (or any file beside the tests) copied into the work directory.
    std::string Provide(const char* built, const char* as) {
        std::string target = work.Path() + "\\" + as;
        EXPECT_TRUE(CopyFileA((ModuleDirectory() + "\\" + built).c_str(), target.c_str(), FALSE))
            << built;
        return target;
    }
    static std::string EnableKey() { return std::string(kPublicComponentsKey) + "\\" + kSection; }
    static bool EnableWritten() {
        DWORD value = 0, size = sizeof(value);
        return RegGetValueA(HKEY_LOCAL_MACHINE, EnableKey().c_str(), "enable", RRF_RT_REG_DWORD,
                            nullptr, &value, &size) == ERROR_SUCCESS &&
               value == 1;
    }
    static std::string Failed() {
        return ReadText(HKEY_CURRENT_USER, kInstallComponentsKey, "Failed");
    }

    ScratchDirectory work;
    char workPath[260];
    Component component;
    SavedValue appPath{HKEY_LOCAL_MACHINE, kAppPathKey, "Path"};
    SavedValue dataPath{HKEY_CURRENT_USER, kClientKey, "Data Path"};

private:
    // Taken at construction: TearDown restores them even after a skipped SetUp.
    const char* savedCommandLine = g_commandLine;
    bool savedDeferred = g_deferredSetup;
    int savedCounter = g_installCounter;
};

// ---------------------------------------------------------------------------------
// Started programs: command lines, directories, the wait and the "Failed" verdict.

class InstallActions : public ActionTest {};

// Messages to this window count while an action waits; one kind sets g_shuttingDown.
const UINT kCountMessage = WM_APP + 1;
const UINT kShutDownMessage = WM_APP + 2;
int countedWhileWaiting = 0;
int countedWithProgramRunning = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCountMessage && g_currentInstallProcess != -1) {
        ++countedWhileWaiting;
        HANDLE process = reinterpret_cast<HANDLE>(g_currentInstallProcess);
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ++countedWithProgramRunning;
    }
    if (message == kShutDownMessage) g_shuttingDown = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

class MessageWindow {
public:
    MessageWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ActionTestCounter";
        RegisterClassA(&windowClass);
        handle = CreateWindowA("ActionTestCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    ~MessageWindow() { DestroyWindow(handle); }
    HWND handle;
};

// A file a test's programs change, put back as it was when the test ends.
class SavedFile {
public:
    explicit SavedFile(const std::string& path)
        : path(path), existed(FileExists(path)), bytes(ReadWholeFile(path)) {}
    ~SavedFile() {
        if (existed)
            WriteWholeFile(path, bytes);
        else
            DeleteFileA(path.c_str());
    }

private:
    std::string path;
    bool existed;
    std::string bytes;
};

std::string WindowsDirectory() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

// Lets a program that an ended wait left running finish before the scratch directory goes.
void AwaitDeletable(const std::string& path) {
    for (int i = 0; i < 100 && FileExists(path) && !DeleteFileA(path.c_str()); ++i) Sleep(100);
}

}  // namespace

TEST_F(InstallActions, RunStartsTheProgramInTheWorkDirectory) {
    Provide("record_app.exe", "Corvane.exe");
    const std::string exe = work.Path() + "\\Corvane.exe";
    struct Case {
        const char* entry;
        const char* ownLine;
        std::string line;
    };
    const std::string quoted = "\"" + exe + "\"";
    const Case cases[] = {
        {"run,Corvane.exe,-run2", "", quoted + " -run2"},
        {"run,Corvane.exe", "", quoted},
        {"RUN,Corvane.exe,a,b c", "/is", quoted + " a,b c /is"},
        // Only the switch is blanked: what the restart shortcut writes behind it stays.
        {"Run,Corvane.exe,-run2", "/tray /AskForRestart /SaveProxySettings",
         quoted + " -run2 " + "     " + " /AskForRestart /SaveProxySettings"},
    };
    for (const Case& c : cases) {
        DeleteFileA((exe + ".txt").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
        g_commandLine = c.ownLine;
        EXPECT_EQ(1, Perform(c.entry)) << c.entry;
        std::vector<std::string> record = Lines(ReadWholeFile(exe + ".txt"));
        ASSERT_EQ(2u, record.size()) << c.entry;
        EXPECT_EQ(c.line, record[0]) << c.entry;
        EXPECT_EQ(work.Path(), record[1]) << c.entry;
        EXPECT_TRUE(EnableWritten()) << c.entry;
    }
}

// A work directory under a folder with a blank: a program at the folder's first word
// ("...\sec.exe" for "...\sec review\t") is never started in place of the checked one.
TEST_F(InstallActions, RunInAFolderWithABlankStartsOnlyTheCheckedProgram) {
    const std::string parent = work.Path() + "\\sec review";
    const std::string spaced = parent + "\\t";
    ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    const std::string planted = Provide("record_app.exe", "sec.exe");
    const std::string exe = spaced + "\\Corvane.exe";
    ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\record_app.exe").c_str(), exe.c_str(), FALSE));
    CopyText(workPath, spaced.c_str());
    EXPECT_EQ(1, Perform("run,Corvane.exe,-run2 a"));
    EXPECT_FALSE(FileExists(planted + ".txt"));
    std::vector<std::string> record = Lines(ReadWholeFile(exe + ".txt"));
    ASSERT_EQ(2u, record.size());
    EXPECT_EQ("\"" + exe + "\" -run2 a", record[0]);
    EXPECT_EQ(spaced, record[1]);
}

TEST_F(InstallActions, WhatCannotBeCarriedOutTouchesNothing) {
    Provide("record_app.exe", "Corvane.exe");
    const std::string longName(300, 'n');
    struct Case {
        const char* why;
        std::string entry;
        const char* ownLine;
    };
    const Case cases[] = {
        {"only a verb", "run", ""},
        {"only commas", ",,,", ""},
        {"empty", "", ""},
        {"full path does not fit", "run," + longName + ".exe", ""},
        {"command line does not fit", "run,Corvane.exe", nullptr},
    };
    const std::string tooLong(260, 'x');
    for (const Case& c : cases) {
        WriteText(HKEY_CURRENT_USER, kInstallComponentsKey, "Failed", "left over");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
        g_commandLine = c.ownLine != nullptr ? c.ownLine : tooLong.c_str();
        EXPECT_EQ(0, Perform(c.entry)) << c.why;
        // A cut command line would still have started the program.
        EXPECT_FALSE(FileExists(work.Path() + "\\Corvane.exe.txt")) << c.why;
        if (c.ownLine != nullptr) {
            EXPECT_EQ("left over", Failed()) << c.why;
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, EnableKey())) << c.why;
        }
    }
}

TEST_F(InstallActions, AnyFailedValueOfAWaitedForProgramFailsTheAction) {
    Provide("fail_app.exe", "fail.exe");
    Provide("success_app.exe", "success.exe");
    SavedFile stateProfile(WindowsDirectory() + "\\tarrock.ini");
    struct Case {
        const char* entry;
        int result;
        std::string failed;
    };
    const Case cases[] = {
        {"run,fail.exe,text", 0, "setup failed"},
        {"run,fail.exe", 1, "<absent>"},  // clears what the row above left
        {"run,fail.exe,empty", 0, ""},
        {"run,success.exe", 1, "<absent>"},
        {"run,fail.exe,long", 0, std::string(300, 'x')},  // longer than any path buffer
        {"run,missing.exe", 0, "<absent>"},               // nothing started: nothing was installed
        {"open,fail.exe,text", 0, "setup failed"},        // the shell's process is waited for too
    };
    for (const Case& c : cases) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
        EXPECT_EQ(c.result, Perform(c.entry)) << c.entry;
        EXPECT_EQ(c.failed, Failed()) << c.entry;
        EXPECT_TRUE(EnableWritten()) << c.entry;
    }
    EXPECT_EQ(1u, GetPrivateProfileIntA("result", "success", 0,
                                        (WindowsDirectory() + "\\tarrock.ini").c_str()));
    Perform("run,fail.exe,text");
    EXPECT_EQ("disk full", ReadText(HKEY_CURRENT_USER, kInstallComponentsKey, "FailedMessage"));
    EXPECT_EQ(1, Perform("run,success.exe"));
    EXPECT_EQ("<absent>", ReadText(HKEY_CURRENT_USER, kInstallComponentsKey, "FailedMessage"));
}

TEST_F(InstallActions, ShellVerbStartsTheFileInTheWorkDirectory) {
    const std::string tool = Provide("record_app.exe", "tool.exe");
    struct Case {
        const char* entry;
        const char* ownLine;
        const char* parameters;
    };
    const Case cases[] = {
        {"open,tool.exe,alpha beta", "/is", " alpha beta"},
        // Without arguments the installer's own line goes along, "/tray" and all.
        {"open,tool.exe", "/tray -x", " /tray -x"},
    };
    for (const Case& c : cases) {
        DeleteFileA((tool + ".txt").c_str());
        g_commandLine = c.ownLine;
        EXPECT_EQ(1, Perform(c.entry)) << c.entry;
        // The record exists when the action returns: the shell's process was waited for.
        std::vector<std::string> record = Lines(ReadWholeFile(tool + ".txt"));
        ASSERT_EQ(2u, record.size()) << c.entry;
        const std::string& line = record[0];
        EXPECT_NE(std::string::npos, line.find("tool.exe")) << line;
        EXPECT_EQ(c.parameters, line.substr(line.size() - strlen(c.parameters))) << line;
        EXPECT_EQ(work.Path(), record[1]) << c.entry;
    }
}

namespace {

// Answers, from a thread of its own, every message box this process shows meanwhile
// (the shell's own message about a file it cannot start).
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~MessageBoxAnswerer() {
        stop = true;
        if (thread == nullptr) return;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    volatile LONG answered = 0;

private:
    static BOOL CALLBACK Answer(HWND window, LPARAM data) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (process == GetCurrentProcessId() && strcmp(name, "#32770") == 0 &&
            IsWindowVisible(window)) {
            PostMessageA(window, WM_COMMAND, IDOK, 0);
            InterlockedIncrement(&reinterpret_cast<MessageBoxAnswerer*>(data)->answered);
        }
        return TRUE;
    }
    static DWORD WINAPI Run(void* data) {
        MessageBoxAnswerer* self = static_cast<MessageBoxAnswerer*>(data);
        while (!self->stop) {
            EnumWindows(Answer, reinterpret_cast<LPARAM>(self));
            Sleep(100);
        }
        return 0;
    }
    HANDLE thread = nullptr;
    volatile bool stop = false;
};

}  // namespace

TEST_F(InstallActions, AShellVerbThatCannotStartCountsAsDoneButARunDoesNot) {
    WriteWholeFile(work.Path() + "\notes.cvnothing", "no program opens this");
    MessageBoxAnswerer answerer;
    struct Case {
        const char* entry;
        int result;
    };
    const Case cases[] = {
        {"open,notes.cvnothing", 1},  // no program for this kind of file
        {"open,missing.exe", 1},      // no file at all
        {"run,missing.exe", 0},       // nothing started: nothing was installed
    };
    for (const Case& c : cases) {
        WriteText(HKEY_CURRENT_USER, kInstallComponentsKey, "Failed", "left over");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EnableKey().c_str());
        EXPECT_EQ(c.result, Perform(c.entry)) << c.entry;
        EXPECT_EQ("<absent>", Failed()) << c.entry;  // nothing ran to report
        EXPECT_TRUE(EnableWritten()) << c.entry;
    }
}

TEST_F(InstallActions, WaitKeepsDispatchingThisThreadsMessages) {
    Provide("sleep_app.exe", "sleep.exe");
    MessageWindow window;
    ASSERT_NE(nullptr, window.handle);
    countedWhileWaiting = countedWithProgramRunning = 0;
    for (int i = 0; i < 3; ++i) PostMessageA(window.handle, kCountMessage, 0, 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, Perform("run,sleep.exe,700"));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 600u);
    EXPECT_EQ(3, countedWhileWaiting);
    EXPECT_EQ(3, countedWithProgramRunning);
    EXPECT_EQ(-1, g_currentInstallProcess);
}

TEST_F(InstallActions, WindowsEndingStopsThisAndEveryLaterWait) {
    const std::string sleeper = Provide("sleep_app.exe", "sleep.exe");
    MessageWindow window;
    ASSERT_NE(nullptr, window.handle);
    PostMessageA(window.handle, kShutDownMessage, 0, 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, Perform("run,sleep.exe,3000"));
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_TRUE(g_shuttingDown);
    EXPECT_EQ(-1, g_currentInstallProcess);
    start = GetTickCount();
    EXPECT_EQ(1, Perform("run,sleep.exe,3000"));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(EnableWritten());
    AwaitDeletable(sleeper);
}

// ---------------------------------------------------------------------------------
// Target directories: the client's entries in the registry, "copy" and the COM list.

namespace {

enum ClientEntry { NoClientKey, ClientKeyOnly, ClientPath };

// Collapses doubled backslashes, so that paths formed from a directory that already ends
// in one compare with plain ones.
std::string Collapse(std::string path) {
    for (size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
    return path;
}

std::string SystemDirectory() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

// A path at the root of the current drive, where a missing client directory must never
// lead ("\data\name").
std::string AtRoot(const std::string& rootRelative) {
    char full[MAX_PATH] = {};
    GetFullPathNameA(rootRelative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

class InstallTargets : public ActionTest {
protected:
    void SetUp() override {
        ActionTest::SetUp();
        client = work.Path() + "\\Client";
        userData = work.Path() + "\\UserData";
        for (const std::string& d : {client, client + "\\Program", client + "\\data", userData})
            CreateDirectoryA(d.c_str(), nullptr);
    }
    void Client(ClientEntry entry, bool withDataPath) {
        if (entry == NoClientKey) appPath.Absent();
        if (entry == ClientKeyOnly) appPath.KeyOnly();
        if (entry == ClientPath) appPath.Set(client + "\\Program");
        if (withDataPath)
            dataPath.Set(userData);
        else
            dataPath.Absent();
    }
    // Every directory an entry could write into, including the wrong ones.
    std::vector<std::string> Candidates() const {
        return {client + "\\Program", client,
                client + "\\data",    userData,
                WindowsDirectory(),   SystemDirectory(),
                AtRoot("\\data"),     AtRoot("\\Program"),
                AtRoot("\\")};
    }
    std::string client, userData;
};

}  // namespace

TEST_F(InstallTargets, FindClientDirectoryReadsTheClientsEntries) {
    const std::string longPath = "C:\\" + std::string(256, 'p');  // 259 characters
    struct Case {
        const char* dataValue;  // nullptr: absent
        ClientEntry appEntry;
        std::string appValue;
        ClientDirectoryVariant variant;
        int result;
        std::string buffer;
    };
    const Case cases[] = {
        {"D:\\Data", ClientPath, "C:\\Corvane\\Program", ClientDataDirectory, 1, "D:\\Data\\"},
        {"D:\\Data\\", NoClientKey, "", ClientDataDirectory, 1, "D:\\Data\\"},
        {"D:\\Data", ClientPath, "C:\\Corvane\\Program", ClientProgramDirectory, 1, "C:\\Corvane"},
        {"", ClientPath, "C:\\Corvane\\PROGRAM", ClientDataDirectory, 1, "C:\\Corvane\\data"},
        {nullptr, ClientPath, "C:\\Corvane", ClientDataDirectory, 1, "C:\\Corvane\\data"},
        {nullptr, ClientPath, "C:\\Corvane", ClientProgramDirectory, 1, "C:\\Corvane"},
        {nullptr, ClientPath, "C:\\Corvane\\Programs", ClientProgramDirectory, 1,
         "C:\\Corvane\\Programs"},
        {nullptr, NoClientKey, "", ClientDataDirectory, 0, ""},
        {nullptr, NoClientKey, "", ClientProgramDirectory, 0, ""},
        // A client key without a usable path names no directory, not "\data".
        {nullptr, ClientKeyOnly, "", ClientDataDirectory, 0, ""},
        {nullptr, ClientKeyOnly, "", ClientProgramDirectory, 0, ""},
        {nullptr, ClientPath, "", ClientDataDirectory, 0, ""},
        {nullptr, ClientPath, "", ClientProgramDirectory, 0, ""},
        // Longest value that fits; "\data" no longer does; one more character is too long.
        {nullptr, ClientPath, longPath, ClientProgramDirectory, 1, longPath},
        {nullptr, ClientPath, longPath, ClientDataDirectory, 0, ""},
        {nullptr, ClientPath, longPath + "q", ClientProgramDirectory, 0, ""},
    };
    for (const Case& c : cases) {
        std::string label = std::string(c.dataValue ? c.dataValue : "-") + " / " + c.appValue;
        if (c.dataValue != nullptr)
            dataPath.Set(c.dataValue);
        else
            dataPath.Absent();
        if (c.appEntry == NoClientKey) appPath.Absent();
        if (c.appEntry == ClientKeyOnly) appPath.KeyOnly();
        if (c.appEntry == ClientPath) appPath.Set(c.appValue);
        char buffer[260] = {};
        EXPECT_EQ(c.result, FindClientDirectory(buffer, c.variant)) << label;
        EXPECT_EQ(c.buffer, buffer) << label;
    }
}

TEST_F(InstallTargets, CopyGoesWhereItsFlagsPoint) {
    const char name[] = "cvtest_copy.dll";
    WriteWholeFile(work.Path() + "\\" + name, "viewer bytes");
    struct Case {
        const char* entry;
        ClientEntry clientEntry;
        bool withDataPath;
        std::string target;  // empty: copied nowhere
    };
    const Case cases[] = {
        {"copy,cvtest_copy.dll", ClientPath, false, client + "\\Program"},
        {"COPY,cvtest_copy.dll,4", ClientPath, false, client},
        {"copy,cvtest_copy.dll,8", ClientPath, false, client + "\\data"},
        {"copy,cvtest_copy.dll,8", ClientPath, true, userData},
        {"copy,cvtest_copy.dll,12", ClientKeyOnly, false, ""},
        {"copy,cvtest_copy.dll,16", NoClientKey, false, ""},
        {"copy,cvtest_copy.dll", ClientKeyOnly, false, ""},
        {"copy,cvtest_copy.dll,1", ClientPath, true, WindowsDirectory()},
        {"copy,cvtest_copy.dll,10", ClientPath, true, SystemDirectory()},
    };
    for (const Case& c : cases) {
        Client(c.clientEntry, c.withDataPath);
        // The copy replaces what is there.
        if (!c.target.empty()) WriteWholeFile(c.target + "\\" + name, "old");
        EXPECT_EQ(1, Perform(c.entry)) << c.entry;
        for (const std::string& directory : Candidates()) {
            std::string path = directory + "\\" + name;
            if (directory == c.target)
                EXPECT_EQ("viewer bytes", ReadWholeFile(path)) << c.entry;
            else
                EXPECT_FALSE(FileExists(path)) << c.entry << ": " << path;
            DeleteFileA(path.c_str());
        }
        EXPECT_TRUE(EnableWritten()) << c.entry;
    }
}

TEST_F(InstallTargets, CopyWithBitFourListsTheCopyForRegistration) {
    for (const char* name : {"cvtest_viewer.exe", "cvtest_viewer.dll", "cvtest_plain.dll"})
        WriteWholeFile(work.Path() + "\\" + name, "server");
    Client(ClientPath, true);
    struct Case {
        const char* entry;
        const char* name;
        std::string path;  // empty: not listed
        const char* type;
        int done;
    };
    const Case cases[] = {
        {"copy,cvtest_viewer.exe,24", "\\cvtest_viewer.exe", userData + "\\cvtest_viewer.exe",
         "ComEXE", 1},
        {"copy,cvtest_viewer.dll,16", "\\cvtest_viewer.dll",
         client + "\\Program\\cvtest_viewer.dll", "ComDLL", 1},
        {"copy,cvtest_plain.dll,4", "\\cvtest_plain.dll", "", nullptr, 1},
        // A copy that fails fails the action and is not listed.
        {"copy,cvtest_absent.dll,16", "\\cvtest_absent.dll", "", nullptr, 0},
    };
    for (const Case& c : cases) {
        std::string key = std::string(kRegisterListKey) + c.name;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        EXPECT_EQ(c.done, Perform(c.entry)) << c.entry;
        if (c.path.empty()) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << c.entry;
            continue;
        }
        std::string listed = ReadText(HKEY_LOCAL_MACHINE, key.c_str(), "Path");
        EXPECT_EQ(c.path, Collapse(listed)) << c.entry;
        EXPECT_TRUE(FileExists(listed)) << listed;
        EXPECT_EQ(c.type, ReadText(HKEY_LOCAL_MACHINE, key.c_str(), "RegType")) << c.entry;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
}

TEST_F(InstallTargets, TargetPathThatDoesNotFitCopiesNothing) {
    // A client directory of 247 characters: with "\cvtest_long_file_name.dll" the target
    // needs 273, and a cut one would still name a file in that directory.
    std::string deep = client;
    while (deep.size() < 247) {
        deep += "\\" + std::string(std::min<size_t>(60, 246 - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep.size();
    }
    ASSERT_EQ(247u, deep.size());
    WriteWholeFile(work.Path() + "\\cvtest_long_file_name.dll", "x");
    appPath.Set(deep);
    EXPECT_EQ(0, Perform("copy,cvtest_long_file_name.dll,4"));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((deep + "\\cvtest*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    EXPECT_TRUE(EnableWritten());
}

// ---------------------------------------------------------------------------------
// Packages unpacked with the extension library beside the tests (cvgetex.dll).

namespace {

// Points the temporary directory, where installer packages are unpacked, at a scratch
// directory for the length of a test.
class TemporaryDirectoryRedirect {
public:
    explicit TemporaryDirectoryRedirect(const std::string& directory) {
        DWORD length = GetEnvironmentVariableA("TMP", saved, countof(saved));
        hadValue = length > 0 && length < countof(saved);
        SetEnvironmentVariableA("TMP", directory.c_str());
    }
    ~TemporaryDirectoryRedirect() { SetEnvironmentVariableA("TMP", hadValue ? saved : nullptr); }

private:
    char saved[MAX_PATH];
    bool hadValue;
};

// The directories "INS*" in directory, sorted by name.
std::vector<std::string> UnpackedDirectories(const std::string& directory) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\INS*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.push_back(directory + "\\" + entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(found.begin(), found.end());
    return found;
}

class InstallPackages : public InstallTargets {
protected:
    void SetUp() override {
        if (!FileExists(ModuleDirectory() + "\\cvgetex.dll"))
            GTEST_SKIP() << "cvgetex.dll is not built beside the tests";
        InstallTargets::SetUp();
        // The library is loaded only as the copy whose digest the run recorded.
        Sha256Digest digest;
        ASSERT_TRUE(ParseSha256Hex(
            Sha256Hex(ReadWholeFile(Provide("cvgetex.dll", "cvgetex.dll"))).c_str(), digest));
        ASSERT_TRUE(digests.Record((work.Path() + "\\cvgetex.dll").c_str(), digest));
        component.verifiedFiles = &digests;
        for (const char* name : {"client.pkg", "failclient.pkg", "data.pkg"})
            ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\packages\\" + name).c_str(),
                                  (work.Path() + "\\" + name).c_str(), FALSE))
                << name;
    }
    void TearDown() override {
        ReleaseExtensionLibrary();  // so that the work directory can go
        InstallTargets::TearDown();
    }
    ScratchDirectory temporary;
    VerifiedFiles digests;
};

}  // namespace

TEST_F(InstallPackages, PackageUnpacksWhereItsFlagsPoint) {
    struct Case {
        const char* entry;
        ClientEntry clientEntry;
        bool withDataPath;
        std::string target;  // empty: unpacked nowhere
        bool keepsExisting;  // bit 4: a file already there stays
    };
    const Case cases[] = {
        {"package,data.pkg,4", ClientPath, false, client, false},
        {"package,data.pkg", ClientPath, false, client + "\\Program", false},
        {"Package,data.pkg,8", ClientPath, true, userData, false},
        {"package,data.pkg,24", ClientPath, false, client + "\\data", true},
        {"package,data.pkg,8", ClientKeyOnly, false, "", false},
        {"package,data.pkg", NoClientKey, false, "", false},
        {"package,data.pkg,17", ClientPath, true, WindowsDirectory(), true},
        {"package,data.pkg,1", ClientPath, true, WindowsDirectory(), false},
    };
    for (const Case& c : cases) {
        Client(c.clientEntry, c.withDataPath);
        if (!c.target.empty()) WriteWholeFile(c.target + "\\cvtest_pkg_a.txt", "old");
        EXPECT_EQ(1, Perform(c.entry)) << c.entry;
        for (const std::string& directory : Candidates()) {
            std::string a = directory + "\\cvtest_pkg_a.txt", b = directory + "\\cvtest_pkg_b.txt";
            if (directory == c.target) {
                EXPECT_EQ(c.keepsExisting ? "old" : "alpha", ReadWholeFile(a)) << c.entry;
                EXPECT_EQ("beta", ReadWholeFile(b)) << c.entry;
            } else {
                EXPECT_FALSE(FileExists(a)) << c.entry << ": " << a;
            }
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
        }
    }
}

// The temporary folder lies under a folder with a blank, and a program waits at its
// first word: only the unpacked set-up runs.
TEST_F(InstallPackages, InstallerPackageRunsItsSetupWhereItWasUnpacked) {
    const std::string parent = temporary.Path() + "\\sec review";
    const std::string spaced = parent + "\\t";
    ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    const std::string planted = temporary.Path() + "\\sec.exe";
    ASSERT_TRUE(
        CopyFileA((ModuleDirectory() + "\\record_app.exe").c_str(), planted.c_str(), FALSE));
    TemporaryDirectoryRedirect redirect(spaced);
    struct Case {
        const char* entry;
        const char* ownLine;
        const char* tail;
    };
    const Case cases[] = {
        {"ispackage,client.pkg", "", ""},
        // The set-up sees the installer's own line unchanged, "/tray" included.
        {"ISPACKAGE,client.pkg,-s", "/tray /is", " -s /tray /is"},
    };
    for (const Case& c : cases) {
        g_commandLine = c.ownLine;
        std::vector<std::string> before = UnpackedDirectories(spaced);
        EXPECT_EQ(1, Perform(c.entry)) << c.entry;
        EXPECT_FALSE(FileExists(planted + ".txt")) << c.entry;
        std::vector<std::string> after = UnpackedDirectories(spaced);
        ASSERT_EQ(before.size() + 1, after.size()) << c.entry;
        std::string unpacked;
        for (const std::string& d : after)
            if (std::find(before.begin(), before.end(), d) == before.end()) unpacked = d;
        std::vector<std::string> record = Lines(ReadWholeFile(unpacked + "\\setup.exe.txt"));
        ASSERT_EQ(2u, record.size()) << c.entry;
        EXPECT_EQ("\"" + unpacked + "\\setup.exe\"" + c.tail, record[0]);
        EXPECT_EQ(unpacked, record[1]);
        EXPECT_TRUE(FileExists(unpacked + "\\setup.ins"));
        EXPECT_TRUE(EnableWritten());
    }
}

TEST_F(InstallPackages, DeferredSetupRecordsEachScriptInTurn) {
    TemporaryDirectoryRedirect redirect(temporary.Path());
    SavedValue first(HKEY_CURRENT_USER, kInstallComponentsKey, "INS1");
    SavedValue second(HKEY_CURRENT_USER, kInstallComponentsKey, "INS2");
    first.Absent();
    second.Absent();
    g_deferredSetup = true;
    g_installCounter = 1;
    EXPECT_EQ(1, Perform("ispackage,client.pkg"));
    EXPECT_EQ(0, Perform("ispackage,nothere.pkg"));  // not unpacked: fails, no number used
    EXPECT_EQ(1, Perform("ispackage,client.pkg"));
    EXPECT_EQ(3, g_installCounter);
    std::vector<std::string> unpacked = UnpackedDirectories(temporary.Path());
    ASSERT_EQ(2u, unpacked.size());
    std::string ins1 = ReadText(HKEY_CURRENT_USER, kInstallComponentsKey, "INS1");
    std::string ins2 = ReadText(HKEY_CURRENT_USER, kInstallComponentsKey, "INS2");
    EXPECT_NE(ins1, ins2);
    for (const std::string& ins : {ins1, ins2}) {
        EXPECT_TRUE(ins == unpacked[0] + "\\setup.ins" || ins == unpacked[1] + "\\setup.ins")
            << ins;
        EXPECT_TRUE(FileExists(ins)) << ins;
    }
    // Recorded for later, not run.
    for (const std::string& d : unpacked) EXPECT_FALSE(FileExists(d + "\\setup.exe.txt")) << d;
}

TEST_F(InstallPackages, SetupThatReportsFailureFailsTheAction) {
    TemporaryDirectoryRedirect redirect(temporary.Path());
    EXPECT_EQ(0, Perform("ispackage,failclient.pkg,text"));
    EXPECT_EQ("setup failed", Failed());
    EXPECT_TRUE(EnableWritten());
    EXPECT_EQ(1, Perform("ispackage,failclient.pkg"));
    EXPECT_EQ("<absent>", Failed());
}
