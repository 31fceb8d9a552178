// The file appender: one thread, one block in flight, two auto-reset events.
#include "transfer/file_appender_win.h"

#include "transfer/authenticity_win.h"
#include "transfer/md5.h"

FileAppender::~FileAppender() {
    WaitForWrite();
    if (thread != nullptr) {
        stop = true;
        SetEvent(blockReady);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (blockReady != nullptr) CloseHandle(blockReady);
    if (blockWritten != nullptr) CloseHandle(blockWritten);
}

void FileAppender::Start(HANDLE target) {
    file = target;
    blockReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    blockWritten = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (blockReady != nullptr && blockWritten != nullptr)
        thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
}

DWORD WINAPI FileAppender::ThreadMain(LPVOID parameter) {
    FileAppender* appender = static_cast<FileAppender*>(parameter);
    for (;;) {
        WaitForSingleObject(appender->blockReady, INFINITE);
        if (appender->stop) return 0;
        appender->Write();
        SetEvent(appender->blockWritten);
    }
}

void FileAppender::Write() {
    if (blockMd5 != nullptr) blockMd5->Update(data, size);
    if (blockSha256 != nullptr) (void)blockSha256->Add(data, size);
    DWORD written = 0;
    if (WriteFile(file, data, size, &written, nullptr) && written == size) return;
    error = GetLastError();
    // A short write that reports success leaves no error code of its own.
    if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
}

void FileAppender::WaitForWrite() {
    if (!writing) return;
    WaitForSingleObject(blockWritten, INFINITE);
    writing = false;
}

bool FileAppender::Append(const char* block, DWORD length, Md5* md5, Sha256Hash* sha256) {
    WaitForWrite();
    if (error != 0) return false;
    data = block;
    size = length;
    blockMd5 = md5;
    blockSha256 = sha256;
    if (thread == nullptr) {
        Write();
        return error == 0;
    }
    writing = true;
    SetEvent(blockReady);
    return true;
}

bool FileAppender::Finish() {
    WaitForWrite();
    return error == 0;
}
