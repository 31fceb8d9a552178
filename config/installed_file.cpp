// The places an installed-file test looks (see installed_file.h).
#include "config/installed_file.h"

#include "common/text.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(const char* name) { return IsAsciiLetter(name[0]) && name[1] == ':'; }

}  // namespace

bool IsFullPath(const char* name) {
    return (HasDrive(name) && name[2] == '\\') || (name[0] == '\\' && name[1] == '\\');
}

FileRequirement SplitInstalledFileToken(char* token) {
    if (!HasDrive(token)) return SplitFileRequirement(token);
    FileRequirement requirement = SplitFileRequirement(token + 2);
    requirement.fileName = token;
    return requirement;
}

bool BuildInstalledFilePath(const char* name, const char* systemDirectory, char* out, size_t size) {
    if (size == 0) return false;
    bool fits = name[0] != '\0';
    if (fits && IsFullPath(name)) {
        fits = CopyTextN(out, size, name);
    } else if (fits) {
        // Without a system folder a bare name would be found relative to the current
        // drive; a colon left in a name ("D:a.dll") names a drive's current folder or a
        // stream, neither of them in the system folder.
        fits = systemDirectory[0] != '\0' && strchr(name, ':') == nullptr &&
               CopyTextN(out, size, systemDirectory) && AppendTextN(out, size, "\\") &&
               AppendTextN(out, size, name);
    }
    if (!fits) out[0] = '\0';
    return fits;
}
