// Work directory: its registry record, creation and recursive deletion.
#include "startup/work_directory_win.h"

#include "startup/app_win.h"
#include "ui/resource_ids.h"

namespace {

bool ReadRecordedDirectory(const char* subkey, char (&path)[260]) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof(path);
    LONG result = RegQueryValueExA(key, "Path", nullptr, &type,
                                   reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ || size == 0) return false;
    // A stored value need not carry its terminator; one of 260 characters has no room.
    if (path[size - 1] != '\0') {
        if (size >= sizeof(path)) return false;
        path[size] = '\0';
    }
    return path[0] != '\0';
}

bool MakeTemporaryName(char (&path)[260]) {
    char tempDirectory[260];
    DWORD n = GetTempPathA(countof(tempDirectory), tempDirectory);
    if (n == 0 || n >= countof(tempDirectory)) return false;
    if (GetTempFileNameA(tempDirectory, "inst", 0, path) == 0) return false;
    // The platform created an empty file of that name; it is to become a directory.
    DeleteFileA(path);
    return true;
}

}  // namespace

int GetWorkDirectory(WorkDirectoryRecord& record) {
    char subkey[200];
    if (LoadStringA(record.instance, IDS_WORK_DIR_KEY, subkey, countof(subkey)) == 0) return 0;
    if (!ReadRecordedDirectory(subkey, record.path)) {
        if (!MakeTemporaryName(record.path)) return 0;
    }
    if (GetFileAttributesA(record.path) != INVALID_FILE_ATTRIBUTES) return 1;
    if (!CreateDirectoryA(record.path, nullptr)) return 0;
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, subkey, &key) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(record.path),
                       static_cast<DWORD>(BoundedLength(record.path, countof(record.path))) + 1);
        RegCloseKey(key);
    }
    return 1;
}

int DeleteWorkDirectory(WorkDirectoryRecord& record) {
    if (nestedRun) return 0;
    char path[260];
    CopyText(path, record.path);
    if (BoundedLength(path, countof(path)) < 6) return 0;
    DeleteTree(path);
    char subkey[200];
    if (LoadStringA(record.instance, IDS_WORK_DIR_KEY, subkey, countof(subkey)) != 0)
        RegDeleteKeyA(HKEY_CURRENT_USER, subkey);
    return 1;
}

bool ExecutableCopyPath(const char* workDirectory, char (&path)[260], char (&executable)[260]) {
    DWORD n = GetModuleFileNameA(nullptr, executable, countof(executable));
    if (n == 0 || n >= countof(executable)) return false;
    const char* name = strrchr(executable, '\\');
    if (name == nullptr) return false;
    CopyText(path, workDirectory);
    return AppendText(path, name);
}

void DeleteTree(const char* directory) {
    char pattern[260];
    CopyText(pattern, directory);
    if (!AppendText(pattern, "\\*.*")) return;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            char path[260];
            CopyText(path, directory);
            // An entry whose full path does not fit is left in place, with its parents.
            if (!AppendText(path, "\\") || !AppendText(path, entry.cFileName)) continue;
            DWORD attributes = entry.dwFileAttributes;
            if (attributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
            // A junction or symbolic link is removed itself; what it points to stays.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveDirectoryA(path);
            else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(path);
            else
                DeleteFileA(path);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(directory);
}
