// Splitting and interpreting install-action entries, and assembling the command lines
// of the programs they start.
#include "install/install_entry.h"

#include <limits.h>

#include "common/text.h"
#include "config/string_table.h"

namespace {

const char kFieldDelimiters[] = ",";
// A delimiter that entries do not contain: the arguments are the whole rest.
const char kRestDelimiters[] = "\x1B";
const char kTraySwitch[] = "/tray";

// Appends text only when all of it fits; otherwise leaves path as it was.
bool AppendWhole(char* path, size_t size, const char* text) {
    size_t used = BoundedLength(path, size);
    if (used >= size || strlen(text) >= size - used) return false;
    CopyTextN(path + used, size - used, text);
    return true;
}

// Overwrites the first "/tray" of line with blanks, leaving the text around it.
void BlankTraySwitch(char* line) {
    char* found = strstr(line, kTraySwitch);
    if (found == nullptr) return;
    for (size_t i = 0; i < sizeof(kTraySwitch) - 1; ++i) found[i] = ' ';
}

// Appends " arguments" (when present) and " ownCommandLine" (when not empty) to the
// program text already in out. Returns whether the own command line was appended.
bool AppendArgumentsAndOwnLine(const char* arguments, const char* ownCommandLine, char* out,
                               size_t size, bool* fits) {
    *fits = true;
    if (arguments != nullptr)
        *fits = AppendWhole(out, size, " ") && AppendWhole(out, size, arguments);
    bool ownLine = ownCommandLine != nullptr && ownCommandLine[0] != '\0';
    if (*fits && ownLine)
        *fits = AppendWhole(out, size, " ") && AppendWhole(out, size, ownCommandLine);
    return ownLine;
}

bool Refuse(char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    return false;
}

// Writes the program's path in quotes, so that no prefix of a path with blanks
// ("C:\sec review\t\a.exe" -> "C:\sec.exe") can be read as the program. A path with a
// quote of its own could not be quoted, and no Windows file name holds one: refused.
bool PutQuotedProgram(const char* program, char* out, size_t size) {
    if (strchr(program, '"') != nullptr) return false;
    return CopyTextN(out, size, "\"") && AppendWhole(out, size, program) &&
           AppendWhole(out, size, "\"");
}

}  // namespace

bool SplitInstallEntry(char* entry, InstallEntry* fields) {
    char* cursor = entry;
    fields->verb = NextToken(&cursor, kFieldDelimiters);
    fields->file = fields->verb != nullptr ? NextToken(&cursor, kFieldDelimiters) : nullptr;
    fields->arguments = fields->file != nullptr ? NextToken(&cursor, kRestDelimiters) : nullptr;
    return fields->verb != nullptr && fields->file != nullptr;
}

InstallVerb ClassifyVerb(const char* verb) {
    if (EqualsIgnoringCase(verb, "ispackage")) return VerbInstallerPackage;
    if (EqualsIgnoringCase(verb, "run")) return VerbRun;
    if (EqualsIgnoringCase(verb, "package")) return VerbPackage;
    if (EqualsIgnoringCase(verb, "copy")) return VerbCopy;
    return VerbShell;
}

int TargetFlags(const char* arguments) {
    if (arguments == nullptr) return 0;
    const char* p = arguments;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

TargetKind ChooseTarget(int flags) {
    if (flags & kTargetWindowsFlag) return TargetWindowsDirectory;
    if (flags & kTargetSystemFlag) return TargetSystemDirectory;
    if (flags & kTargetDataFlag) return TargetClientData;
    return TargetClientProgram;
}

bool WantsProgramSuffix(int flags) { return (flags & kTargetNoProgramSuffixFlag) == 0; }

int UnpackFlag(int flags) { return (flags & kTargetExtraFlag) != 0 ? 1 : 0; }

bool BuildRunCommandLine(const char* path, const char* arguments, const char* ownCommandLine,
                         char* out, size_t size) {
    if (!PutQuotedProgram(path, out, size)) return Refuse(out, size);
    bool fits;
    // The started program must not take "/tray" as its own switch; blanking only the
    // switch keeps what the restart shortcut writes behind it (/AskForRestart ...).
    if (AppendArgumentsAndOwnLine(arguments, ownCommandLine, out, size, &fits) && fits)
        BlankTraySwitch(out);
    return fits ? true : Refuse(out, size);
}

bool BuildSetupProgramPath(const char* directory, char* out, size_t size) {
    if (!CopyTextN(out, size, directory) || !AppendWhole(out, size, "\\setup.exe"))
        return Refuse(out, size);
    return true;
}

bool BuildSetupCommandLine(const char* program, const char* arguments, const char* ownCommandLine,
                           char* out, size_t size) {
    if (!PutQuotedProgram(program, out, size)) return Refuse(out, size);
    bool fits;
    AppendArgumentsAndOwnLine(arguments, ownCommandLine, out, size, &fits);
    return fits ? true : Refuse(out, size);
}

const char* ComRegistrationType(const char* path) {
    const char* dot = strrchr(path, '.');
    return dot != nullptr && EqualsIgnoringCase(dot, ".exe") ? "ComEXE" : "ComDLL";
}

const char* FileNameWithBackslash(const char* path) {
    const char* backslash = strrchr(path, '\\');
    return backslash != nullptr ? backslash : path;
}

void TrimProgramSuffix(char* path) {
    char* backslash = strrchr(path, '\\');
    if (backslash != nullptr && EqualsIgnoringCase(backslash + 1, "program")) *backslash = '\0';
}

bool EnsureTrailingBackslash(char* path, size_t size) {
    size_t length = BoundedLength(path, size);
    if (length > 0 && path[length - 1] == '\\') return true;
    return AppendWhole(path, size, "\\");
}

bool AppendDataDirectory(char* path, size_t size) { return AppendWhole(path, size, "\\data"); }

bool AppendProgramDirectory(char* path, size_t size) {
    return AppendWhole(path, size, "\\Program");
}
