// The pure side of the run's log: the switch that names its file, the time stamp of a
// line, and where the newer half starts when the file has grown past its limit.
#pragma once

#include <stddef.h>

// The log's file is cut back to its newer half once a line would take it past this.
constexpr size_t kRunLogLimit = 512 * 1024;

// The longest line (without its time stamp and line end); a longer event is cut.
constexpr size_t kRunLogLineLimit = 1024;

// The file named by "/Log=PATH" or "-Log=PATH" anywhere in the command line: up to the
// next blank, or between quotes ("/Log="C:\a b\x.log"" or /Log="C:\a b\x.log").
// False, out empty, when the switch is absent, names nothing, or does not fit.
bool FindLogPath(const char* commandLine, char* out, size_t size);

// "2026-12-11 14:05:09.123 " into out (at least 25 bytes).
void FormatLogTime(int year, int month, int day, int hour, int minute, int second, int millisecond,
                   char* out, size_t size);

// Of the newest bytes of a log (tail, length bytes, read from its end), the offset of
// the first whole line: just after the first line end. A tail without a line end is
// dropped whole (length).
size_t FirstWholeLine(const char* tail, size_t length);

// A site or URL as the log may show it: a "user:password@" before the host is dropped,
// whatever the scheme in front of it.
void SiteForLog(const char* site, char* out, size_t size);
