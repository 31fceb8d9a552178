// The process-wide state: the module instance and the run's flags. WinMain sets them
// from its arguments and switches; the run modes, the dialog and the installation read
// them, and the last two change as the runs go on. State that one module keeps for
// itself (the log's file, the tray's icon, a cache) stays in that module's file.
#pragma once

#include "common/win32.h"

// The module instance of the program: window classes, dialog templates and every
// resource load (GetFrameworkInstance in shell/window_win.h hands out the same).
extern HINSTANCE g_instance;
// The command-line text after the program name; never copied.
extern const char* g_commandLine;
// Started with "-run2" while another instance holds the instance mutex: no work
// directory is ever deleted by this process.
extern bool g_nestedRun;
// "-is": setup programs of packages are told to defer their set-up.
extern bool g_deferredSetup;
// A download run is open: the tray window ignores Open meanwhile.
extern bool g_downloadRunActive;
// Windows is ending (log-off or shut-down) during a download run.
extern bool g_shuttingDown;
