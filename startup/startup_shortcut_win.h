// The Startup shortcut that restarts the installer at the next log-on.
#pragma once

// create true writes "<Startup>\Corvane Lite Installer.lnk" pointing at target with
// the arguments; create false deletes it. Failures are silent.
void SetStartupShortcut(bool create, const char* target, const char* arguments);
