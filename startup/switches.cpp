// Switch search and the run-mode loop (pure decisions; see switches.h).
#include "startup/switches.h"

#include "config/installer_run_outcome.h"

#include <string.h>

namespace {

bool Contains(const char* text, const char* word) { return strstr(text, word) != nullptr; }

bool HasSwitch(const char* commandLine, const char* dashForm, const char* slashForm) {
    return Contains(commandLine, dashForm) || Contains(commandLine, slashForm);
}

void RunTrayMode(Switches& s, RunModeActions& actions) {
    actions.SetDownloadRunActive(false);
    s.resumed = true;
    const int tray = actions.RunTray();
    if (tray == kTrayOpen) {
        s.mode = RunMode::Download;
        return;
    }
    s.mode = RunMode::Exit;
    // Without a tray to wait in, the process ends, and the files and the restart
    // shortcut wait for the next log-on as a suspended run left them.
    if (tray == kTrayUnavailable) {
        actions.SetExitCode(kExitSuspended);
        return;
    }
    actions.SetExitCode(kExitCancelled);
    actions.DeleteStartupShortcut();
    actions.FindWorkDirectory();
    actions.DeleteWorkDirectory();
}

void RunDownloadMode(Switches& s, RunModeActions& actions) {
    int answer = AnswerYes;
    if (s.askForRestart) {
        answer = actions.AskToResume();
        s.askForRestart = false;
        s.resumed = true;
    }
    if (answer == AnswerYes) {
        actions.SetDownloadRunActive(true);
        int suspended = actions.RunDownload(!s.resumed, s.resumed || s.unattendedStart, s.infPath,
                                            s.saveProxySettings);
        s.mode = suspended == 1 ? RunMode::Tray : RunMode::Exit;
    } else if (answer == AnswerNo) {
        s.mode = RunMode::Tray;
    } else if (answer == AnswerCancel) {
        // A run on a description's folder has no work directory of its own: nothing is
        // looked up, so nothing is created or recorded either.
        if (s.infPath == nullptr) {
            actions.FindWorkDirectory();
            actions.DeleteWorkDirectory();
        }
        actions.DeleteStartupShortcut();
        s.mode = RunMode::Exit;
    }
    // Any other answer (the message box could not be shown) leaves the mode as it is:
    // the prompt is not shown twice, so the next pass starts the download.
}

}  // namespace

Switches ParseSwitches(const char* commandLine) {
    Switches s;
    const char* inf = strstr(commandLine, "-inf ");
    if (inf != nullptr) s.infPath = inf + 5;
    if (HasSwitch(commandLine, "-is", "/is")) s.deferredSetup = true;
    if (HasSwitch(commandLine, "-SaveProxySettings", "/SaveProxySettings"))
        s.saveProxySettings = true;
    if (HasSwitch(commandLine, "-tray", "/tray")) {
        s.unattendedStart = true;
        s.mode = RunMode::Tray;
    }
    if (HasSwitch(commandLine, "-NoIntervention", "/NoIntervention")) {
        s.unattendedStart = true;
        s.resumed = true;
        s.mode = RunMode::Download;
    }
    if (HasSwitch(commandLine, "-AskForRestart", "/AskForRestart")) {
        s.askForRestart = true;
        s.mode = RunMode::Download;
    }
    return s;
}

const char* SkipProgramName(const char* commandLine) {
    const char* p = commandLine;
    bool quoted = false;
    while (static_cast<unsigned char>(*p) > ' ' || (*p != '\0' && quoted)) {
        if (*p == '"') quoted = !quoted;
        ++p;
    }
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
    return p;
}

bool HasNestedRunSwitch(const char* commandLine) { return Contains(commandLine, "-run2"); }

void RunModeLoop(Switches& s, RunModeActions& actions) {
    while (s.mode != RunMode::Exit) {
        if (s.mode == RunMode::Tray)
            RunTrayMode(s, actions);
        else
            RunDownloadMode(s, actions);
    }
}
