// How a run ends, decided from plain facts: the dialog's end code, what the state
// profile records, and what happens to the work directory and the restart shortcut.
#pragma once

#include <stdint.h>

enum class RunEnd {
    Finished,   // installed or quit: the files and the restart shortcut go
    Suspended,  // the restart shortcut is written; the files stay
    FilesKept,  // the files stay for the next start
};

// The dialog end codes that carry a RunEnd, and back. Any other code (the dialog failed,
// or ended some other way) keeps the files. They are the identifiers of the buttons that
// end a dialog with them (Quit, Suspend, a prompt's second choice).
constexpr intptr_t kEndCodeFinished = 1003;
constexpr intptr_t kEndCodeSuspended = 1004;
constexpr intptr_t kEndCodeFilesKept = 1009;
intptr_t DialogEndCode(RunEnd end);
RunEnd RunEndFromDialogCode(intptr_t code);

// What the installation writes into the state profile as the run ends.
enum class StateRecord {
    Nothing,
    DownloadComplete,    // "download"/"complete" = 1: the next start goes straight to install
    DownloadIncomplete,  // "download"/"complete" = 0: nothing left to install
    DeleteProfile,
};

struct InstallationEnd {
    RunEnd end;
    StateRecord record;
};

// Not every component is there: the text of the message shown (a network run's
// download is incomplete, a local run's files are missing); the files stay.
unsigned NotReadyTextId(bool networkRun);
InstallationEnd NotReadyEnd();

// "Ready to Install" declined; prompt 106 answered: delete the files, or keep them for
// the next start.
InstallationEnd DeclinedEnd(bool deleteFiles);

struct InstalledFacts {
    bool profileKnown;            // the state profile's path could be built
    bool programReportedSuccess;  // a started program wrote "result"/"success" = 1
    bool localOnly;               // no component is fetched over the network
    bool nestedRun;
    bool networkRun;
    bool actionFailed;  // an action, a registry section or a file check stopped it
};

// After the components were installed (or one failed): finished when a started program
// reported success, or when the run was local, not nested and nothing failed; otherwise
// the files stay for another attempt.
InstallationEnd InstalledEnd(const InstalledFacts& facts);

// What the end of the dialog means for the work directory and the restart shortcut.
struct RunAftermath {
    bool deleteWorkDirectory;
    bool removeShortcut;
    bool writeRestartShortcut;
    bool announceSuspended;  // message "suspended", unless Windows is ending the session
    bool endsShutdown;       // the session's end has been handled: the flag is cleared
    bool suspended;          // the run mode loop goes to the tray
};

// descriptionNamed: the description was named on the command line, so the directory
// is the user's and is never deleted.
RunAftermath DecideAftermath(RunEnd end, bool descriptionNamed, bool shuttingDown);

// The process's exit code, for scripts and deployment tools: what the last run came to.
// A second start that hands over to the running instance ends with kExitHandedOver.
const int kExitInstalled = 0;
const int kExitHandedOver = 1;
const int kExitNoDescription = 3;
const int kExitInstallFailed = 4;
const int kExitDownloadFailed = 5;
const int kExitCancelled = 6;
const int kExitSuspended = 7;

struct RunExitFacts {
    RunEnd end;
    bool noDescription;   // the installer holds no description of components
    bool installFailed;   // a step of the installation failed
    bool downloadFailed;  // not every file arrived
    bool cancelled;       // the user quit, or declined to install
};

// A failure outweighs how the run was left: a run whose download failed and was then
// quit still tells that the files did not arrive.
int RunExitCode(const RunExitFacts& facts);

// What an exit code means, in the words of the README's table (for the log).
const char* ExitCodeMeaning(int code);
