// Command-line switches of the installer and the decisions of the run-mode loop.
//
// A switch counts wherever its exact text stands in the command line: there is no
// splitting into words and no quoting, and case matters. This file is pure core.
#pragma once

enum class RunMode { Exit = 0, Tray = 1, Download = 2 };

struct Switches {
    const char* infPath = nullptr;   // points into the command line, runs to its end
    bool deferredSetup = false;      // "-is"
    bool saveProxySettings = false;  // "-SaveProxySettings"
    bool unattendedStart = false;    // "-tray" or "-NoIntervention"
    bool askForRestart = false;      // "-AskForRestart"
    bool resumed = false;            // the next download run continues an earlier one
    RunMode mode = RunMode::Download;
};

// Reads the switches in the order of precedence: a later switch overrides the mode
// that an earlier one chose, so download mode wins over "-tray".
Switches ParseSwitches(const char* commandLine);

// The arguments after the program's own name in the process's command line, as the
// C runtime's start-up hands them to WinMain: the name ends at the first blank outside
// double quotes, and the blanks after it are skipped.
const char* SkipProgramName(const char* commandLine);

// "-run2": a second instance that runs alongside the first instead of handing over.
bool HasNestedRunSwitch(const char* commandLine);

// Answers of the restart prompt (MessageBoxA results).
enum { AnswerYes = 6, AnswerNo = 7, AnswerCancel = 2 };

// What the mode loop needs from the rest of the program. The Win32 shell carries
// these out; the loop itself only decides.
const int kTrayQuit = 0;
const int kTrayOpen = 1;
const int kTrayUnavailable = 2;

class RunModeActions {
public:
    virtual void SetDownloadRunActive(bool active) = 0;
    // kTrayOpen, kTrayQuit (Quit chosen, or the tray window closed) or kTrayUnavailable.
    virtual int RunTray() = 0;
    // 1 = the run was suspended, 0 = the run is over.
    virtual int RunDownload(bool showWelcome, bool resuming, const char* infPath,
                            bool saveProxySettings) = 0;
    // The restart prompt; returns AnswerYes, AnswerNo or AnswerCancel.
    virtual int AskToResume() = 0;
    virtual void FindWorkDirectory() = 0;
    virtual void DeleteWorkDirectory() = 0;
    virtual void DeleteStartupShortcut() = 0;
    // What ended the process in tray mode, for its exit code.
    virtual void SetExitCode(int code) = 0;
};

// Alternates between tray mode and download mode until one of them ends the process.
void RunModeLoop(Switches& switches, RunModeActions& actions);
