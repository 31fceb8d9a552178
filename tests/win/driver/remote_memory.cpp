// Memory blocks inside another process: VirtualAllocEx, WriteProcessMemory and
// ReadProcessMemory, released with the block.
#include "driver/remote_memory.h"

bool SameBitness(HANDLE process) {
    BOOL ownEmulated = FALSE, otherEmulated = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &ownEmulated)) return false;
    if (!IsWow64Process(process, &otherEmulated)) return false;
    return (ownEmulated != FALSE) == (otherEmulated != FALSE);
}

RemoteBlock::RemoteBlock(DWORD processId, size_t size) : size(size) {
    process = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
        FALSE, processId);
    if (process == nullptr) return;
    // A structure laid out here would be read with the other process's pointer size.
    if (!SameBitness(process)) return;
    base = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBlock::~RemoteBlock() {
    if (base != nullptr) VirtualFreeEx(process, base, 0, MEM_RELEASE);
    if (process != nullptr) CloseHandle(process);
}

bool RemoteBlock::Write(size_t offset, const void* bytes, size_t count) const {
    if (base == nullptr || offset > size || count > size - offset) return false;
    SIZE_T done = 0;
    return WriteProcessMemory(process, RemoteAddress(offset), bytes, count, &done) && done == count;
}

bool RemoteBlock::Read(size_t offset, void* bytes, size_t count) const {
    if (base == nullptr || offset > size || count > size - offset) return false;
    SIZE_T done = 0;
    return ReadProcessMemory(process, RemoteAddress(offset), bytes, count, &done) && done == count;
}
