#include "common/win32.h"

#include "common/run_log_win.h"

#include <stdarg.h>

namespace {

const char kDefaultLogName[] = "CorvaneInstaller.log";

// Guards the handle and the file: the fetch thread, the joined file's thread and the
// interface thread all log.
CRITICAL_SECTION g_logLock;
bool g_lockReady = false;
HANDLE g_logFile = INVALID_HANDLE_VALUE;
char g_logPath[MAX_PATH] = "";

void StopLog() {
    if (g_logFile != INVALID_HANDLE_VALUE) CloseHandle(g_logFile);
    g_logFile = INVALID_HANDLE_VALUE;
}

bool WriteWhole(HANDLE file, const char* bytes, DWORD length) {
    DWORD written = 0;
    return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

// Keeps the newest half of the file, from the first whole line in it, through a handle
// of its own: the log's handle only appends.
bool CutToNewerHalf(DWORD size) {
    const DWORD keep = kRunLogLimit / 2;
    if (size <= keep) return true;
    HANDLE whole =
        CreateFileA(g_logPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (whole == INVALID_HANDLE_VALUE) return false;
    HANDLE heap = GetProcessHeap();
    char* tail = static_cast<char*>(HeapAlloc(heap, 0, keep));
    DWORD read = 0;
    bool ok = tail != nullptr &&
              SetFilePointer(whole, static_cast<LONG>(size - keep), nullptr, FILE_BEGIN) !=
                  INVALID_SET_FILE_POINTER &&
              ReadFile(whole, tail, keep, &read, nullptr) && read == keep;
    if (ok) {
        size_t start = FirstWholeLine(tail, keep);
        ok = SetFilePointer(whole, 0, nullptr, FILE_BEGIN) == 0 &&
             WriteWhole(whole, tail + start, static_cast<DWORD>(keep - start)) &&
             SetEndOfFile(whole);
    }
    if (tail != nullptr) HeapFree(heap, 0, tail);
    CloseHandle(whole);
    return ok;
}

void AppendLine(const char* line, DWORD length) {
    DWORD size = GetFileSize(g_logFile, nullptr);
    bool ok = size != INVALID_FILE_SIZE;
    if (ok && size + length > kRunLogLimit) ok = CutToNewerHalf(size);
    if (!ok || !WriteWhole(g_logFile, line, length)) StopLog();
}

bool DefaultLogPath(char (&out)[MAX_PATH]) {
    DWORD length = GetTempPathA(MAX_PATH, out);
    if (length == 0 || length >= MAX_PATH) return false;
    return AppendText(out, kDefaultLogName);
}

}  // namespace

bool OpenRunLog(const char* commandLine) {
    if (!g_lockReady) {
        InitializeCriticalSection(&g_logLock);
        g_lockReady = true;
    }
    EnterCriticalSection(&g_logLock);
    StopLog();
    bool named = FindLogPath(commandLine, g_logPath, sizeof g_logPath);
    if (named || DefaultLogPath(g_logPath)) {
        // Append access only: each line goes whole to the end of the file, also when a
        // nested run or a second start logs into it at the same time.
        g_logFile = CreateFileA(g_logPath, FILE_READ_ATTRIBUTES | FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (g_logFile == INVALID_HANDLE_VALUE) g_logPath[0] = '\0';
    bool open = g_logFile != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&g_logLock);
    return open;
}

void LogEvent(const char* format, ...) {
    if (!g_lockReady) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // wvsprintfA writes at most 1024 characters, kRunLogLineLimit.
    char line[32 + kRunLogLineLimit + 2];
    FormatLogTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, line, 32);
    size_t stamp = BoundedLength(line, 32);
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(line + stamp, format, arguments);
    va_end(arguments);
    if (length < 0) length = 0;
    size_t end = stamp + static_cast<size_t>(length);
    while (end > stamp && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
    for (size_t i = stamp; i < end; ++i)
        if (line[i] == '\r' || line[i] == '\n') line[i] = ' ';
    line[end++] = '\r';
    line[end++] = '\n';
    EnterCriticalSection(&g_logLock);
    if (g_logFile != INVALID_HANDLE_VALUE) AppendLine(line, static_cast<DWORD>(end));
    LeaveCriticalSection(&g_logLock);
}

const char* RunLogPath() { return g_logFile != INVALID_HANDLE_VALUE ? g_logPath : ""; }

void CloseRunLog() {
    if (!g_lockReady) return;
    EnterCriticalSection(&g_logLock);
    StopLog();
    LeaveCriticalSection(&g_logLock);
}
