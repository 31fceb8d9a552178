// The text side of an install action: splitting "verb,file[,arguments]", the kind of
// verb, the target flags of "package" and "copy", the command lines of started
// programs and the small path rules of the client's directories. No platform calls.
#pragma once

#include <stddef.h>

// The fields of an entry, pointing into the entry's own (modified) text.
struct InstallEntry {
    char* verb;
    char* file;
    char* arguments;  // the whole rest behind the file field; nullptr when absent
};

// Splits entry in place: verb and file at commas (leading commas skipped), the
// arguments as the whole remaining text. False when the verb or the file is missing.
bool SplitInstallEntry(char* entry, InstallEntry* fields);

enum InstallVerb {
    VerbInstallerPackage,  // "ispackage": unpack, then run or record its set-up
    VerbRun,               // "run": start the file as a program
    VerbPackage,           // "package": unpack into a target directory
    VerbCopy,              // "copy": copy into a target directory
    VerbShell,             // anything else: a verb for the shell
};

// The verbs compare ignoring case; any other text is a shell verb.
InstallVerb ClassifyVerb(const char* verb);

// Target flags of "package" and "copy": the arguments read as a decimal number
// (leading blanks, an optional sign, digits; saturating instead of overflowing), 0
// when there are no arguments.
int TargetFlags(const char* arguments);

constexpr int kTargetWindowsFlag = 1;
constexpr int kTargetSystemFlag = 2;
constexpr int kTargetNoProgramSuffixFlag = 4;
constexpr int kTargetDataFlag = 8;
// "package": passed on to the unpacker; "copy": list the copy for COM registration.
constexpr int kTargetExtraFlag = 16;

enum TargetKind {
    TargetWindowsDirectory,
    TargetSystemDirectory,
    TargetClientData,     // the client's data directory
    TargetClientProgram,  // the client's program directory
};

// The first of bits 0, 1 and 3 that is set decides; none of them: the program directory.
TargetKind ChooseTarget(int flags);
// The program directory gets "\Program" unless bit 2 is set.
bool WantsProgramSuffix(int flags);
// The unpacker's flag argument, 0 or 1.
int UnpackFlag(int flags);

// Command line of "run": the path in quotes, then " " and the arguments when present,
// then " " and the installer's own command line when it is not empty; in that last case
// the first "/tray" of the line is overwritten with five blanks and the rest of the line
// kept. The path is also the program to start (never looked for in the line), so the
// program sees the arguments it always did. False (and out empty) when the line does not
// fit size, as a cut line would start a different command, or when the path holds a quote.
bool BuildRunCommandLine(const char* path, const char* arguments, const char* ownCommandLine,
                         char* out, size_t size);
// The set-up program of an unpacked installer package: "<directory>\setup.exe". False
// (and out empty) when it does not fit.
bool BuildSetupProgramPath(const char* directory, char* out, size_t size);
// Command line of that set-up program: its path in quotes, then the arguments and the
// installer's own command line as for "run", without any blanking.
bool BuildSetupCommandLine(const char* program, const char* arguments, const char* ownCommandLine,
                           char* out, size_t size);

// "ComEXE" when the file's extension (from the last "." on) is ".exe" in any case,
// otherwise "ComDLL".
const char* ComRegistrationType(const char* path);
// The text from the last backslash on ("\viewer.dll"), or the whole path without one.
const char* FileNameWithBackslash(const char* path);

// Cuts a client directory at its last backslash when the text behind it is "program"
// in any case ("C:\Corvane\Program" becomes "C:\Corvane").
void TrimProgramSuffix(char* path);
// A data path from the user's settings ends in a backslash: appends one unless there.
// False (path unchanged) when it does not fit.
bool EnsureTrailingBackslash(char* path, size_t size);
// Appends "\data" to the client's directory; false (path unchanged) when it does not fit.
bool AppendDataDirectory(char* path, size_t size);
// Appends "\Program" to the client's directory; false (path unchanged) when it does not fit.
bool AppendProgramDirectory(char* path, size_t size);
