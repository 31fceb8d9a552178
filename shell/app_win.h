// The helpers every part may call (the process-wide state is in
// shell/process_state_win.h).
#pragma once

#include "common/win32.h"
#include "common/os_class.h"

// Message box without owner, titled with the program's name, text from the string table.
int ShowAppMessage(UINT textId, UINT style);

// Class of the running Windows version, read once and then answered from a cache.
OsClass GetOsClass();
