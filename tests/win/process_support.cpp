// Process, window and directory helpers for the end-to-end tests.
#include "process_support.h"

#include <stdio.h>

#include <algorithm>

std::string ModuleDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

static void DeleteTreeForTest(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = directory + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTreeForTest(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(directory.c_str());
}

ScratchDirectory::ScratchDirectory() {
    char temp[MAX_PATH] = {}, name[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    GetTempFileNameA(temp, "tst", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    path = name;
}

ScratchDirectory::~ScratchDirectory() { DeleteTreeForTest(path); }

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string ReadWholeFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

InstallerProcess::InstallerProcess(const std::string& exe, const std::string& arguments) {
    std::string path = exe.find(':') != std::string::npos ? exe : ModuleDirectory() + "\\" + exe;
    std::string line = "\"" + path + "\"";
    if (!arguments.empty()) line += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        info = {};
}

InstallerProcess::~InstallerProcess() {
    if (info.hProcess == nullptr) return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

int InstallerProcess::WaitForExit(DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        DWORD r = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, milliseconds - elapsed,
                                            QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            return static_cast<int>(code);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    TerminateProcess(info.hProcess, 99);
    return -1;
}

namespace {
struct WindowSearch {
    DWORD process;
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process) return TRUE;
    char text[256] = {};
    if (search->className != nullptr) {
        GetClassNameA(window, text, sizeof(text));
        if (lstrcmpiA(text, search->className) != 0) return TRUE;
    }
    if (search->title != nullptr) {
        GetWindowTextA(window, text, sizeof(text));
        if (lstrcmpA(text, search->title) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}
}  // namespace

HWND InstallerProcess::FindWindowOf(const char* className, const char* title,
                                    DWORD milliseconds) const {
    DWORD start = GetTickCount();
    do {
        WindowSearch search = {info.dwProcessId, className, title, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::vector<std::string> DirectoryEntries(const std::string& directory, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\" + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

static const char workDirectoryKey[] = "Software\\Corvane\\CvGet";

std::string ReadRecordedWorkDirectory() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, workDirectoryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value) - 1, type = 0;
    LONG r = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(value) : std::string();
}

// The tag the tests give the work directories they hand to the installer.
static const char testWorkTag[] = "7e57000000000000000000000000cafe";

void SetRecordedWorkDirectory(const std::string& path) {
    if (path.empty()) {
        RegDeleteKeyA(HKEY_CURRENT_USER, workDirectoryKey);
        return;
    }
    // As the installer leaves its own work directory: the directory, its marker file
    // holding the tag, and the tag recorded beside the path.
    CreateDirectoryA(path.c_str(), nullptr);
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        WriteWholeFile(path + "\\cvget.tag", testWorkTag);
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, workDirectoryKey, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegSetValueExA(key, "Tag", 0, REG_SZ, reinterpret_cast<const BYTE*>(testWorkTag),
                   sizeof(testWorkTag));
    RegCloseKey(key);
}

void SetRecordedPathOnly(const std::string& path) {
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, workDirectoryKey, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, "Tag");
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}
