// Process-wide state of the installer and the helpers every part may call.
#pragma once

#include "common/win32.h"
#include "common/os_class.h"

// The command-line text after the program name; never copied.
extern const char* commandLine;
// Started with "-run2" while another instance holds the instance mutex: no work
// directory is ever deleted by this process.
extern bool nestedRun;
// "-is": setup programs of packages are told to defer their set-up.
extern bool deferredSetup;
// A download run is open: the tray window ignores Open meanwhile.
extern bool downloadRunActive;
// Windows is ending (log-off or shut-down) during a download run.
extern bool shuttingDown;
// The module instance of the program, for every resource load.
extern HINSTANCE appInstance;

// Message box without owner, titled with the program's name, text from the string table.
int ShowAppMessage(UINT textId, UINT style);

// Class of the running Windows version, read once and then answered from a cache.
OsClass GetOsClass();
