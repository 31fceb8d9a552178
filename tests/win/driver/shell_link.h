// Reading shell links (.lnk) back the way the shell sees them, and finding the Startup
// folders into which a program may put one to be started at the next log-on.
#pragma once

#include <string>

struct ShellLinkContents {
    std::string target;
    std::string arguments;
};

// Loads the link at path through IShellLinkA and IPersistFile; false when it cannot be read.
bool ReadShellLink(const std::string& path, ShellLinkContents* contents);

// The folder of a CSIDL as the shell names it (SHGetSpecialFolderLocation and
// SHGetPathFromIDListA, no creation); empty when the shell has none.
std::string SpecialFolder(int csidl);
// The user's own Startup folder (CSIDL_STARTUP) and that of all users (CSIDL_COMMON_STARTUP).
std::string UserStartupFolder();
std::string CommonStartupFolder();
