// The extension library cvgetex.dll. Its one export unpacks a zip archive into a folder:
//
//   extern "C" int __cdecl UnzipPackage(const char* package, const char* destination, int flag);
//
// package      path of the archive: entries stored or deflated, names in printable ASCII.
// destination  the folder to unpack into; it is created with its parents when missing. A
//              trailing separator is allowed; "/" counts as "\".
// flag         0: a file that already stands in the destination under an entry's name is
//              replaced. Any other value (1 is the one meant): such a file is kept and the
//              entry's data is only checked, not written.
// Returns 1 when every entry is in place, 0 on any failure.
//
// Before anything is written the whole archive is checked (extension/zip_archive.h): an
// archive that is cut, spans disks, uses zip64, encryption or another method, or names a
// file outside the destination (absolute names, "..", drive letters, device names), or
// whose paths would not fit in 260 characters, writes nothing, not even the destination.
// So does an archive whose declared sizes add up to more than the destination's volume
// has free, or to more than kZipMaxRatio times its compressed bytes (a zip bomb), and one
// whose free space cannot be asked. Then the entries are unpacked in the order of the
// central directory. No folder below the destination, and no entry's own name, may be a
// reparse point (a junction or a symbolic link): such an entry fails, as writing through
// it would put the file wherever the link leads. Each file is
// written under a temporary name ("cvx????.tmp") in its own folder and moved to its name
// only when its size and CRC-32 match; otherwise the temporary file is deleted. Inflating
// stops at the declared size. So a failing entry never leaves a file under its name, but
// the entries before it, already complete, stay where they are.
//
// Files get the time of unpacking and normal attributes; the archive's times and
// attributes are not applied. A read-only file in the way cannot be replaced (0).
// Only functions that every 32-bit Windows has are imported (tests/extension checks the
// import table); newer ones are looked up at run time.
#include "common/win32.h"
#include "extension/zip_archive.h"

#include <zlib.h>

namespace {

const DWORD kBlockSize = 64 * 1024;

// The archive mapped read-only; zip64 is refused, so it is below 4 GB.
class MappedArchive {
public:
    MappedArchive() = default;
    MappedArchive(const MappedArchive&) = delete;
    MappedArchive& operator=(const MappedArchive&) = delete;
    ~MappedArchive() {
        if (data != nullptr) UnmapViewOfFile(data);
        if (mapping != nullptr) CloseHandle(mapping);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }

    // Called once per object.
    bool Open(const char* path) {
        // cppcheck-suppress publicAllocationError
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        // INVALID_FILE_SIZE is also a valid low half; only the last error tells them apart.
        DWORD high = 0;
        SetLastError(NO_ERROR);
        DWORD low = GetFileSize(file, &high);
        if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 ||
            low < kZipEndRecordSize)
            return false;
        mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping == nullptr) return false;
        data = static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        size = low;
        return data != nullptr;
    }

    const unsigned char* data = nullptr;
    size_t size = 0;

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
};

// Heap memory released at the end of the call.
class HeapBlock {
public:
    explicit HeapBlock(size_t bytes) : memory(HeapAlloc(GetProcessHeap(), 0, bytes)) {}
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() {
        if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
    }
    void* memory;
};

bool IsFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction, a symbolic link or another reparse point: writing below it would write
// wherever it leads.
bool IsReparsePoint(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Creates the folder and every missing folder above it; true when it stands at the end.
// Failures on the way (a drive, a share) are left to show in the final test. Every folder
// longer than rootLength characters, that is below the destination, must be a plain
// folder: one that is a reparse point fails the call.
bool CreateFolders(const char* path, size_t rootLength) {
    char buffer[kZipMaxPath];
    if (!CopyText(buffer, path)) return false;
    for (char* p = buffer + 1; *p != '\0'; ++p) {
        if (*p != '\\') continue;
        *p = '\0';
        if (!IsFolder(buffer)) CreateDirectoryA(buffer, nullptr);
        if (static_cast<size_t>(p - buffer) > rootLength && IsReparsePoint(buffer)) return false;
        *p = '\\';
    }
    if (!IsFolder(buffer)) CreateDirectoryA(buffer, nullptr);
    if (strlen(buffer) > rootLength && IsReparsePoint(buffer)) return false;
    return IsFolder(buffer);
}

// The destination with backslashes and without trailing separators; false when too long.
bool NormalizeDestination(const char* destination, char (&output)[kZipMaxPath]) {
    if (!CopyText(output, destination)) return false;
    size_t length = 0;
    for (; output[length] != '\0'; ++length)
        if (output[length] == '/') output[length] = '\\';
    while (length > 1 && output[length - 1] == '\\') output[--length] = '\0';
    return length > 0 && length <= kZipMaxFolder;
}

bool WriteBlock(HANDLE out, const unsigned char* bytes, DWORD count) {
    if (out == INVALID_HANDLE_VALUE || count == 0) return true;
    DWORD written = 0;
    return WriteFile(out, bytes, count, &written, nullptr) && written == count;
}

// Decodes the entry's data into out (or only checks it when out is INVALID_HANDLE_VALUE).
// True when exactly the declared size came out and its CRC-32 matches; never more than the
// declared size is written.
bool DecodeEntry(const unsigned char* archive, const ZipEntry& entry, HANDLE out,
                 unsigned char* buffer) {
    const unsigned char* input = archive + entry.dataOffset;
    uLong crc = crc32(0, Z_NULL, 0);
    if (entry.method == kZipStored) {
        for (uint32_t done = 0; done < entry.uncompressedSize;) {
            uint32_t left = entry.uncompressedSize - done;
            DWORD count = left < kBlockSize ? left : kBlockSize;
            crc = crc32(crc, input + done, count);
            if (!WriteBlock(out, input + done, count)) return false;
            done += count;
        }
        return crc == entry.crc;
    }

    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = entry.compressedSize;
    uint32_t total = 0;
    bool ok = false;
    for (;;) {
        // One byte of room beyond the declared size shows data that would not fit.
        uint64_t room = static_cast<uint64_t>(entry.uncompressedSize - total) + 1;
        DWORD offered = room < kBlockSize ? static_cast<DWORD>(room) : kBlockSize;
        stream.next_out = buffer;
        stream.avail_out = offered;
        int status = inflate(&stream, Z_NO_FLUSH);
        DWORD produced = offered - stream.avail_out;
        if (produced > entry.uncompressedSize - total) break;
        crc = crc32(crc, buffer, produced);
        if (!WriteBlock(out, buffer, produced)) break;
        total += produced;
        if (status == Z_STREAM_END) {
            ok = stream.avail_in == 0 && total == entry.uncompressedSize && crc == entry.crc;
            break;
        }
        // Z_BUF_ERROR: no progress possible, the data ends before the stream does.
        if (status != Z_OK) break;
    }
    inflateEnd(&stream);
    return ok;
}

// Puts the finished temporary file under its name. MoveFileA never replaces a file, so
// the one in the way is deleted first when it is to be replaced (a read-only one cannot
// be, and stays).
bool MoveIntoPlace(const char* temporary, const char* path, bool keepExisting) {
    if (!keepExisting && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(path))
        return false;
    return MoveFileA(temporary, path) != FALSE;
}

// Unpacks one file entry to path through a temporary file in the same folder.
bool UnpackFile(const unsigned char* archive, const ZipEntry& entry, const char* path,
                size_t rootLength, bool keepExisting, unsigned char* buffer) {
    char folder[kZipMaxPath];
    CopyText(folder, path);
    char* lastSeparator = strrchr(folder, '\\');
    if (lastSeparator == nullptr) return false;
    *lastSeparator = '\0';
    if (!CreateFolders(folder, rootLength) || IsReparsePoint(path)) return false;
    if (keepExisting && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return DecodeEntry(archive, entry, INVALID_HANDLE_VALUE, buffer);

    char temporary[kZipMaxPath];
    if (GetTempFileNameA(folder, "cvx", 0, temporary) == 0) return false;
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DeleteFileA(temporary);
        return false;
    }
    bool ok = DecodeEntry(archive, entry, out, buffer);
    if (!CloseHandle(out)) ok = false;
    if (ok && MoveIntoPlace(temporary, path, keepExisting)) return true;
    DWORD error = GetLastError();
    DeleteFileA(temporary);
    // Another file took the name meanwhile: it is kept, as asked.
    return ok && keepExisting && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
}

// The root folder of a path's volume ("C:\\", "\\\\server\\share\\"), as the old free-space
// query wants it; false for a path that names neither.
bool VolumeRoot(const char* path, char (&root)[kZipMaxPath]) {
    if (!CopyText(root, path)) return false;
    if (root[0] != '\0' && root[1] == ':') {
        root[2] = '\\';
        root[3] = '\0';
        return true;
    }
    if (root[0] != '\\' || root[1] != '\\') return false;
    int separators = 0;
    for (char* p = root + 2; *p != '\0'; ++p) {
        if (*p == '\\' && ++separators == 2) {
            p[1] = '\0';
            return true;
        }
    }
    return separators == 1 && AppendText(root, "\\");
}

typedef BOOL(WINAPI* GetDiskFreeSpaceExFunction)(const char*, ULARGE_INTEGER*, ULARGE_INTEGER*,
                                                 ULARGE_INTEGER*);

// The bytes the caller may still write on the destination's volume. The destination may
// not exist yet: its nearest existing folder is asked. Systems without
// GetDiskFreeSpaceExA (looked up, not imported) are asked at the volume's root, which on
// them holds at most 2 GB anyway. False when neither query answers.
bool FreeBytesAt(const char* destination, uint64_t* bytes) {
    char folder[kZipMaxPath];
    if (!CopyText(folder, destination)) return false;
    while (!IsFolder(folder)) {
        char* separator = strrchr(folder, '\\');
        if (separator == nullptr) break;
        *separator = '\0';
    }
    // The detour through void (*)() is the one cast of a FARPROC the compiler accepts.
    GetDiskFreeSpaceExFunction query =
        reinterpret_cast<GetDiskFreeSpaceExFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    if (query != nullptr) {
        char withSeparator[kZipMaxPath];
        ULARGE_INTEGER available, total, free;
        if (CopyText(withSeparator, folder) && AppendText(withSeparator, "\\") &&
            query(withSeparator, &available, &total, &free)) {
            *bytes = available.QuadPart;
            return true;
        }
    }
    char root[kZipMaxPath];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!VolumeRoot(folder, root) ||
        !GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return false;
    *bytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return true;
}

int Unpack(const char* package, const char* destination, int flag) {
    if (package == nullptr || destination == nullptr || package[0] == '\0') return 0;
    char root[kZipMaxPath];
    if (!NormalizeDestination(destination, root)) return 0;
    size_t rootLength = strlen(root);

    MappedArchive archive;
    if (!archive.Open(package)) return 0;
    ZipDirectory directory;
    if (FindZipDirectory(archive.data, archive.size, &directory) != ZipOk) return 0;
    HeapBlock spans((directory.entryCount + 1) * sizeof(ZipSpan));
    HeapBlock buffer(kBlockSize);
    if (spans.memory == nullptr || buffer.memory == nullptr) return 0;
    ZipTotals totals;
    if (CheckZipArchive(archive.data, archive.size, directory, rootLength,
                        static_cast<ZipSpan*>(spans.memory), directory.entryCount,
                        &totals) != ZipOk)
        return 0;
    uint64_t freeBytes = 0;
    if (!FreeBytesAt(root, &freeBytes) || CheckZipTotals(totals, freeBytes) != ZipOk) return 0;

    if (!CreateFolders(root, rootLength)) return 0;
    bool keepExisting = flag != 0;
    uint32_t cursor = directory.offset;
    for (uint32_t i = 0; i < directory.entryCount; ++i) {
        ZipEntry entry;
        if (ReadZipEntry(archive.data, archive.size, directory, &cursor, &entry) != ZipOk) return 0;
        char path[kZipMaxPath];
        CopyText(path, root);
        AppendText(path, "\\");
        char relative[kZipMaxPath];
        // The checked lengths make these fit; a cut path would name another file.
        if (!ZipEntryPath(entry, relative, countof(relative)) || !AppendText(path, relative))
            return 0;
        bool done = entry.isFolder ? CreateFolders(path, rootLength)
                                   : UnpackFile(archive.data, entry, path, rootLength, keepExisting,
                                                static_cast<unsigned char*>(buffer.memory));
        if (!done) return 0;
    }
    return 1;
}

}  // namespace

extern "C" int __cdecl UnzipPackage(const char* package, const char* destination, int flag) {
    return Unpack(package, destination, flag);
}
