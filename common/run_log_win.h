// The run's log, for support: one line an event, with the time, appended to a plain
// text file that is cut back to its newer half past kRunLogLimit. Any thread may log.
// Writing it never fails a run: once the file cannot be opened or written, the log
// stops and the run goes on. Never log a password, a header's credentials or a
// description's scrambled password.
#pragma once

#include "common/run_log.h"
#include "common/win32.h"

// Opens the log: the file named on the command line ("/Log=PATH"), else
// "CorvaneInstaller.log" in the user's temporary folder. Returns whether it is open.
bool OpenRunLog(const char* commandLine);

// One line: wvsprintfA's format (%s, %d, %u, %lu, %lx), at most kRunLogLineLimit
// characters; line ends inside the text become blanks.
void LogEvent(const char* format, ...);

// The file the log writes to, or an empty text when it is closed.
const char* RunLogPath();

void CloseRunLog();
