// Appends blocks to an open file on a thread of its own, one block at a time, so that
// the caller prepares the next block while the last one is written. The same thread can
// add each block to digests of the caller's on the way.
#pragma once

#include "common/win32.h"

class Md5;
class Sha256Hash;

class FileAppender {
public:
    FileAppender() = default;
    ~FileAppender();
    FileAppender(const FileAppender&) = delete;
    FileAppender& operator=(const FileAppender&) = delete;

    // Writes go to target from now on. Without a thread of its own (none could be made)
    // every Append writes before it returns.
    void Start(HANDLE target);
    // Waits for the block before, then starts writing this one, adding it first to md5
    // and sha256, each unless null (a failed SHA-256 step stays in sha256 for its
    // Finish to report). The block and the digests must stay untouched until the next
    // Append or Finish has returned. False when a block could not be written (then
    // nothing more is; LastError says why).
    bool Append(const char* block, DWORD length, Md5* md5, Sha256Hash* sha256);
    // Waits for the last block; false when any block could not be written. Append may
    // follow.
    bool Finish();
    unsigned long LastError() const { return error; }

private:
    static DWORD WINAPI ThreadMain(LPVOID parameter);
    void Write();
    void WaitForWrite();

    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr;
    HANDLE blockReady = nullptr;  // a block, or the end, waits for the thread
    HANDLE blockWritten = nullptr;
    const char* data = nullptr;
    DWORD size = 0;
    Md5* blockMd5 = nullptr;
    Sha256Hash* blockSha256 = nullptr;
    bool writing = false;  // a block was handed to the thread and not awaited yet
    bool stop = false;
    unsigned long error = 0;
};
