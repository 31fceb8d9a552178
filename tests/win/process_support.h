// Helpers for tests that run the real installer: start it, pump messages while
// waiting for it, find its windows, and make scratch directories.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Directory of the running test program (the build folder holding cvget.exe).
std::string ModuleDirectory();

// A fresh directory under the temporary directory, deleted with its contents at the end.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string& Path() const { return path; }

private:
    std::string path;
};

void WriteWholeFile(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

class InstallerProcess {
public:
    // Starts "<exe> <arguments>", exe being a full path or a name beside the tests;
    // Started() tells whether it ran.
    InstallerProcess(const std::string& exe, const std::string& arguments);
    ~InstallerProcess();
    bool Started() const { return info.hProcess != nullptr; }
    DWORD Id() const { return info.dwProcessId; }
    // Waits up to milliseconds while dispatching this thread's messages; returns the
    // exit code, or -1 on time-out (the process is then killed).
    int WaitForExit(DWORD milliseconds);
    // A top-level window of the process with this class and title (either may be null).
    HWND FindWindowOf(const char* className, const char* title, DWORD milliseconds) const;

private:
    PROCESS_INFORMATION info = {};
};

// Reads and writes HKCU "Software\Corvane\CvGet" "Path"; empty means absent.
// SetRecordedWorkDirectory leaves path as the installer leaves a work directory of its
// own (created if missing, with its marker file and the tag beside the path);
// SetRecordedPathOnly writes the path alone, as something else might.
std::string ReadRecordedWorkDirectory();
// The names in directory matching pattern, "." and ".." left out, sorted.
std::vector<std::string> DirectoryEntries(const std::string& directory, const char* pattern = "*");
void SetRecordedWorkDirectory(const std::string& path);
void SetRecordedPathOnly(const std::string& path);
