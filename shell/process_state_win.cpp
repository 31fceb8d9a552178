// The process-wide state, in one place (shell/process_state_win.h).
#include "shell/process_state_win.h"

HINSTANCE g_instance = nullptr;
const char* g_commandLine = "";
bool g_nestedRun = false;
bool g_deferredSetup = false;
bool g_downloadRunActive = false;
bool g_shuttingDown = false;
