// A block of memory inside another process, for window messages whose parameters are
// pointers that the receiving process dereferences (list-view items and columns).
#pragma once

#include <windows.h>

#include <stddef.h>

class RemoteBlock {
public:
    // Opens the process and reserves size bytes in it; Valid() tells whether both worked
    // and the process has the caller's bitness (its pointers have the caller's layout).
    RemoteBlock(DWORD processId, size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool Valid() const { return base != nullptr; }
    // The address of offset inside the other process, to be placed in structures sent there.
    void* RemoteAddress(size_t offset) const { return static_cast<char*>(base) + offset; }
    // Copies between this process and the block; false when the range leaves the block.
    bool Write(size_t offset, const void* bytes, size_t count) const;
    bool Read(size_t offset, void* bytes, size_t count) const;

private:
    HANDLE process = nullptr;
    void* base = nullptr;
    size_t size = 0;
};

// Whether the process has the bitness of the calling one.
bool SameBitness(HANDLE process);
