// Switch search and the run-mode loop's decisions, with a recording stand-in for
// the run modes.
#include "common/os_class.h"
#include "startup/switches.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

TEST(Switches, SearchIsExactSubstringAndLaterRowsWin) {
    struct Case {
        const char* line;
        RunMode mode;
        bool unattended, resumed, askForRestart, saveProxy, deferred;
    };
    const Case cases[] = {
        {"", RunMode::Download, false, false, false, false, false},
        {"-tray", RunMode::Tray, true, false, false, false, false},
        {"/tray", RunMode::Tray, true, false, false, false, false},
        {"/TRAY", RunMode::Download, false, false, false, false, false},
        {"-NoIntervention", RunMode::Download, true, true, false, false, false},
        {"-tray -NoIntervention", RunMode::Download, true, true, false, false, false},
        {"-NoIntervention -tray", RunMode::Download, true, true, false, false, false},
        {" /tray /AskForRestart", RunMode::Download, true, false, true, false, false},
        {"-SaveProxySettings", RunMode::Download, false, false, false, true, false},
        {"/is", RunMode::Download, false, false, false, false, true},
        {"-inf C:\\setup-isx\\x.inf", RunMode::Download, false, false, false, false, true},
        {"-noninteractive", RunMode::Download, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        Switches s = ParseSwitches(c.line);
        EXPECT_EQ(c.mode, s.mode) << c.line;
        EXPECT_EQ(c.unattended, s.unattendedStart) << c.line;
        EXPECT_EQ(c.resumed, s.resumed) << c.line;
        EXPECT_EQ(c.askForRestart, s.askForRestart) << c.line;
        EXPECT_EQ(c.saveProxy, s.saveProxySettings) << c.line;
        EXPECT_EQ(c.deferred, s.deferredSetup) << c.line;
    }
}

TEST(Switches, DescriptionPathRunsToTheEndOfTheLine) {
    const char line[] = "-inf C:\\dir\\x.inf -tray";
    Switches s = ParseSwitches(line);
    ASSERT_NE(nullptr, s.infPath);
    EXPECT_STREQ("C:\\dir\\x.inf -tray", s.infPath);
    EXPECT_EQ(line + 5, s.infPath);  // a pointer into the line, not a copy
    EXPECT_EQ(RunMode::Tray, s.mode);
    EXPECT_EQ(nullptr, ParseSwitches("-inf").infPath);
    EXPECT_EQ(nullptr, ParseSwitches("/inf x.inf").infPath);
    EXPECT_STREQ("", ParseSwitches("-inf ").infPath);
}

TEST(Switches, ProgramNameEndsAtTheFirstBlankOutsideQuotes) {
    const struct {
        const char* line;
        const char* arguments;
    } cases[] = {
        {"", ""},
        {"cvsetup.exe", ""},
        {"cvsetup.exe   -tray -run2", "-tray -run2"},
        {"\"C:\\Program Files\\cvsetup.exe\" -inf a b", "-inf a b"},
        {"\"C:\\Program Files\\cvsetup.exe\"-tray", ""},  // no blank: all of it the name
        {"C:\\a\"b c\"d.exe\t/q", "/q"},
        {"\"unclosed quote -tray", ""},
        {"\xe9t\xe9.exe -tray", "-tray"},  // bytes above 127 belong to the name
    };
    for (const auto& c : cases) EXPECT_STREQ(SkipProgramName(c.line), c.arguments) << c.line;
}

TEST(Switches, NestedRunIsOnlyTheDashForm) {
    EXPECT_TRUE(HasNestedRunSwitch("-run2"));
    EXPECT_TRUE(HasNestedRunSwitch("x -run2 y"));
    EXPECT_FALSE(HasNestedRunSwitch("/run2"));
    EXPECT_FALSE(HasNestedRunSwitch("-RUN2"));
}

namespace {

// Records every call; answers from scripted queues.
class RecordingActions : public RunModeActions {
public:
    std::vector<std::string> calls;
    std::vector<int> trayResults, downloadResults, promptAnswers;

    void SetDownloadRunActive(bool active) override {
        calls.push_back(active ? "active" : "inactive");
    }
    int RunTray() override {
        calls.push_back("tray");
        return Next(trayResults);
    }
    int RunDownload(bool showWelcome, bool resuming, const char* infPath,
                    bool saveProxySettings) override {
        calls.push_back(std::string("download welcome=") + (showWelcome ? "1" : "0") +
                        " resuming=" + (resuming ? "1" : "0") + " inf=" +
                        (infPath ? infPath : "-") + " proxy=" + (saveProxySettings ? "1" : "0"));
        return Next(downloadResults);
    }
    int AskToResume() override {
        calls.push_back("ask");
        return Next(promptAnswers);
    }
    void FindWorkDirectory() override { calls.push_back("find-dir"); }
    void DeleteWorkDirectory() override { calls.push_back("delete-dir"); }
    void DeleteStartupShortcut() override { calls.push_back("delete-shortcut"); }
    void SetExitCode(int code) override { calls.push_back("exit=" + std::to_string(code)); }

private:
    static int Next(std::vector<int>& queue) {
        if (queue.empty()) return 0;
        int value = queue.front();
        queue.erase(queue.begin());
        return value;
    }
};

std::string Join(const std::vector<std::string>& calls) {
    std::string out;
    for (const std::string& c : calls) out += (out.empty() ? "" : "; ") + c;
    return out;
}

}  // namespace

TEST(RunModeLoop, FollowsTheModesToTheEnd) {
    struct Case {
        const char* name;
        const char* line;
        std::vector<int> tray, download, answers;
        const char* expected;
    };
    const Case cases[] = {
        {"first start", "", {}, {0}, {}, "active; download welcome=1 resuming=0 inf=- proxy=0"},
        {"suspend then open then finish",
         "",
         {1},
         {1, 0},
         {},
         "active; download welcome=1 resuming=0 inf=- proxy=0; inactive; tray; "
         "active; download welcome=0 resuming=1 inf=- proxy=0"},
        {"tray then quit",
         "-tray",
         {0},
         {},
         {},
         "inactive; tray; exit=6; delete-shortcut; find-dir; delete-dir"},
        {"suspended, no tray: the files stay",
         "",
         {2},
         {1},
         {},
         "active; download welcome=1 resuming=0 inf=- proxy=0; inactive; tray; exit=7"},
        {"tray then open",
         "-tray",
         {1},
         {0},
         {},
         "inactive; tray; active; download welcome=0 resuming=1 inf=- proxy=0"},
        {"unattended",
         "-NoIntervention -SaveProxySettings",
         {},
         {0},
         {},
         "active; download welcome=0 resuming=1 inf=- proxy=1"},
        {"restart prompt yes",
         " /tray /AskForRestart",
         {},
         {0},
         {6},
         "ask; active; download welcome=0 resuming=1 inf=- proxy=0"},
        {"restart prompt no",
         " /tray /AskForRestart",
         {0},
         {},
         {7},
         "ask; inactive; tray; exit=6; delete-shortcut; find-dir; delete-dir"},
        {"restart prompt cancel",
         " /tray /AskForRestart",
         {},
         {},
         {2},
         "ask; find-dir; delete-dir; delete-shortcut"},
        {"cancel keeps a description's directory",
         "-AskForRestart -inf D:\\s\\x.inf",
         {},
         {},
         {2},
         "ask; delete-shortcut"},
        {"prompt asked once only",
         "-AskForRestart",
         {1},
         {1, 0},
         {6},
         "ask; active; download welcome=0 resuming=1 inf=- proxy=0; inactive; tray; "
         "active; download welcome=0 resuming=1 inf=- proxy=0"},
        {"failed prompt goes on to download",
         "-AskForRestart",
         {},
         {0},
         {0},
         "ask; active; download welcome=0 resuming=1 inf=- proxy=0"},
    };
    for (const Case& c : cases) {
        RecordingActions actions;
        actions.trayResults = c.tray;
        actions.downloadResults = c.download;
        actions.promptAnswers = c.answers;
        Switches s = ParseSwitches(c.line);
        RunModeLoop(s, actions);
        EXPECT_EQ(c.expected, Join(actions.calls)) << c.name;
        EXPECT_EQ(RunMode::Exit, s.mode) << c.name;
    }
}

TEST(OsClass, PlatformAndMajorVersion) {
    EXPECT_EQ(OsOldNt, ClassifyOs(2, 3));     // NT 3.51
    EXPECT_EQ(OsModernNt, ClassifyOs(2, 4));  // NT 4.0
    EXPECT_EQ(OsModernNt, ClassifyOs(2, 10));
    EXPECT_EQ(OsWin32s, ClassifyOs(0, 3));
    EXPECT_EQ(OsWindows9x, ClassifyOs(1, 4));  // Windows 98
    EXPECT_EQ(OsWindows9x, ClassifyOs(3, 5));
}

#include "startup/restart_arguments.h"

TEST(RestartArguments, FollowTheRunFlags) {
    struct Case {
        bool allow, ending, proxy;
        const char* expected;
    };
    const Case cases[] = {
        {true, false, false, " /tray"},
        {true, true, false, " /tray /AskForRestart"},
        {true, false, true, " /tray /SaveProxySettings"},
        {true, true, true, " /tray /AskForRestart /SaveProxySettings"},
        {false, false, false, " /NoIntervention"},
        {false, true, false, " /NoIntervention"},
        {false, true, true, " /NoIntervention /SaveProxySettings"},
    };
    for (const Case& c : cases) {
        char out[80];
        BuildRestartArguments(c.allow, c.ending, c.proxy, out, sizeof out);
        EXPECT_STREQ(c.expected, out);
        // What the next start makes of them.
        Switches s = ParseSwitches(out);
        EXPECT_EQ(c.proxy, s.saveProxySettings) << out;
        EXPECT_EQ(c.allow && !c.ending ? RunMode::Tray : RunMode::Download, s.mode) << out;
    }
}
