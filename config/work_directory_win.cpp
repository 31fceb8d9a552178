// Work directory: its registry record, creation and recursive deletion.
#include "config/work_directory_win.h"

#include "common/registry_text_win.h"
#include "common/resource_string_win.h"
#include "shell/process_state_win.h"
#include "config/private_directory_win.h"
#include "config/work_directory_tag.h"
#include "shell/resource_ids.h"

namespace {

// The marker file inside a work directory of the installer's own, and the value
// beside "Path" that holds the same tag.
const char kMarkerName[] = "\\cvget.tag";
const char kTagValue[] = "Tag";
// Pause between two attempts to remove the work directory.
const DWORD kRemovalSliceMs = 100;

// Reads a text value of the record; false when it is missing, not a text, empty or
// too long for out.
bool ReadRecordValue(const char* subkey, const char* name, char* out, DWORD size) {
    return ReadRegistryText(HKEY_CURRENT_USER, subkey, name, out, size) && out[0] != '\0';
}

bool LoadRecordKey(HINSTANCE instance, char (&subkey)[200]) {
    return LoadResourceString(instance, IDS_WORK_DIR_KEY, subkey);
}

void WriteRecord(const char* subkey, const char* path, const char* tag) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, subkey, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   static_cast<DWORD>(BoundedLength(path, MAX_PATH)) + 1);
    RegSetValueExA(key, kTagValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(tag),
                   static_cast<DWORD>(strlen(tag)) + 1);
    RegCloseKey(key);
}

bool MarkerPath(const char* directory, char (&path)[MAX_PATH]) {
    return CopyText(path, directory) && AppendText(path, kMarkerName);
}

// A plain directory (no link) holding the marker with the recorded tag.
bool IsOwnDirectory(const char* directory, const char* tag) {
    DWORD attributes = GetFileAttributesA(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    char path[MAX_PATH];
    if (!MarkerPath(directory, path)) return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char marker[kWorkTagDigits + 8];
    DWORD length = 0;
    BOOL read = ReadFile(file, marker, sizeof(marker), &length, nullptr);
    CloseHandle(file);
    return read && WorkTagMatches(marker, length, tag);
}

// Writes a new tag into a directory just created and records both. On failure the
// (still empty) directory is removed again: a directory without its marker would
// never be recognised, and so never deleted.
bool AdoptNewDirectory(const char* subkey, const char* directory) {
    unsigned char random[kWorkTagRandomBytes];
    g_randomBytesSource(random, countof(random));
    char tag[kWorkTagDigits + 1];
    FormatWorkTag(random, tag);
    char path[MAX_PATH];
    bool written = false;
    if (MarkerPath(directory, path)) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            written =
                WriteFile(file, tag, kWorkTagDigits, &done, nullptr) && done == kWorkTagDigits;
            written = CloseHandle(file) && written;
            if (!written) (void)DeleteFileA(path);  // a part-written marker is no marker
        }
    }
    if (!written) {
        (void)RemoveDirectoryA(directory);  // empty and ours; a failure leaves an empty folder
        return false;
    }
    WriteRecord(subkey, directory, tag);
    return true;
}

bool IsMissing(const char* path) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The recorded directory when it is the installer's own, or when it has disappeared
// and can be made again at its place as a new directory.
bool ReuseRecordedDirectory(const char* subkey, char (&path)[MAX_PATH]) {
    char tag[kWorkTagDigits + 8];
    if (!ReadRecordValue(subkey, "Path", path, countof(path))) return false;
    if (ReadRecordValue(subkey, kTagValue, tag, countof(tag)) && IsOwnDirectory(path, tag))
        return true;
    return IsMissing(path) && CreatePrivateDirectory(path) && AdoptNewDirectory(subkey, path);
}

bool StillExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

DWORD g_workDirectoryRemovalPatienceMs = 5000;

int GetWorkDirectory(WorkDirectoryRecord& record) {
    char subkey[200];
    if (!LoadRecordKey(record.instance, subkey)) return 0;
    if (ReuseRecordedDirectory(subkey, record.path)) return 1;
    // Anything else the record names is left alone: a new directory takes its place.
    if (!CreateFreshTemporaryDirectory("inst", record.path)) return 0;
    return AdoptNewDirectory(subkey, record.path) ? 1 : 0;
}

int FindWorkDirectory(WorkDirectoryRecord& record) {
    char subkey[200];
    if (!LoadRecordKey(record.instance, subkey) ||
        !ReadRecordValue(subkey, "Path", record.path, countof(record.path))) {
        record.path[0] = '\0';
        return 0;
    }
    return 1;
}

namespace {

// A run started from the executable's copy in the work directory (a download resumed at
// log-on) cannot delete that copy while it runs. What is left once it has ended, the copy
// and the directory, is removed when Windows next starts; where the system cannot do
// that (Windows 95/98, or a user who may not) they stay. True when the copy runs.
bool ScheduleRunningCopyRemoval(const char* directory) {
    char copy[260], executable[260];
    if (!ExecutableCopyPath(directory, copy, executable) || !EqualsIgnoringCase(copy, executable))
        return false;
    typedef BOOL(WINAPI * MoveFileExProc)(LPCSTR, LPCSTR, DWORD);
    // Looked up, as Windows 95 and 98 do not have it.
    MoveFileExProc moveLater = reinterpret_cast<MoveFileExProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA")));
    if (moveLater != nullptr && moveLater(executable, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        (void)moveLater(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);  // after the copy
    return true;
}

}  // namespace

int DeleteWorkDirectory(WorkDirectoryRecord& record) {
    if (g_nestedRun) return 0;
    char path[260];
    CopyText(path, record.path);
    if (BoundedLength(path, countof(path)) < 6) return 0;
    char subkey[200];
    if (!LoadRecordKey(record.instance, subkey)) return 0;
    char tag[kWorkTagDigits + 8];
    bool own = ReadRecordValue(subkey, kTagValue, tag, countof(tag)) && IsOwnDirectory(path, tag);
    // The record is forgotten either way; a directory that is not the installer's own
    // stays untouched.
    RegDeleteKeyA(HKEY_CURRENT_USER, subkey);
    if (!own) return 0;
    if (ScheduleRunningCopyRemoval(path)) {
        DeleteTree(path);  // everything but the running copy; waiting would not free it
        return 1;
    }
    RemoveTreePatiently(path, g_workDirectoryRemovalPatienceMs);
    return 1;
}

void RemoveTreePatiently(const char* directory, DWORD patienceMs) {
    DWORD start = GetTickCount();
    DeleteTree(directory);
    // Another process may still hold the directory for a moment (a console host that
    // has it as its current directory outlives the program it served).
    while (StillExists(directory) && GetTickCount() - start < patienceMs) {
        Sleep(kRemovalSliceMs);
        DeleteTree(directory);
    }
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
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
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
