#include "common/win32.h"

#include "common/run_log_win.h"

#include <stdarg.h>

namespace {

const char kDefaultLogName[] = "CorvaneInstaller.log";

// Guards the handle and the file: the fetch thread, the joined file's thread and the
// interface thread all log.
CRITICAL_SECTION logLock;
bool lockReady = false;
HANDLE logFile = INVALID_HANDLE_VALUE;
char logPath[MAX_PATH] = "";

void StopLog() {
    if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
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
    HANDLE whole = CreateFileA(logPath, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
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
    DWORD size = GetFileSize(logFile, nullptr);
    bool ok = size != INVALID_FILE_SIZE;
    if (ok && size + length > kRunLogLimit) ok = CutToNewerHalf(size);
    if (!ok || !WriteWhole(logFile, line, length)) StopLog();
}

bool DefaultLogPath(char (&out)[MAX_PATH]) {
    DWORD length = GetTempPathA(MAX_PATH, out);
    if (length == 0 || length >= MAX_PATH) return false;
    return AppendText(out, kDefaultLogName);
}

}  // namespace

bool OpenRunLog(const char* commandLine) {
    if (!lockReady) {
        InitializeCriticalSection(&logLock);
        lockReady = true;
    }
    EnterCriticalSection(&logLock);
    StopLog();
    bool named = FindLogPath(commandLine, logPath, sizeof logPath);
    if (named || DefaultLogPath(logPath)) {
        // Append access only: each line goes whole to the end of the file, also when a
        // nested run or a second start logs into it at the same time.
        logFile = CreateFileA(logPath, FILE_READ_ATTRIBUTES | FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (logFile == INVALID_HANDLE_VALUE) logPath[0] = '\0';
    bool open = logFile != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&logLock);
    return open;
}

void LogEvent(const char* format, ...) {
    if (!lockReady) return;
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
    EnterCriticalSection(&logLock);
    if (logFile != INVALID_HANDLE_VALUE) AppendLine(line, static_cast<DWORD>(end));
    LeaveCriticalSection(&logLock);
}

const char* RunLogPath() { return logFile != INVALID_HANDLE_VALUE ? logPath : ""; }

void CloseRunLog() {
    if (!lockReady) return;
    EnterCriticalSection(&logLock);
    StopLog();
    LeaveCriticalSection(&logLock);
}
