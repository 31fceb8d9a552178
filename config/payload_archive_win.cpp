// Reading the payload appended to an executable, and extracting it into a directory.
#include "config/payload_archive_win.h"

#include "common/text.h"
#include "config/image_signature.h"
#include "config/paths.h"
#include "shell/directories_win.h"

namespace {

const DWORD kCopyBufferSize = 2048;
const char kExtensionName[] = "cvgetex.dll";

// The extension library this process extracted where it could not hash it.
char g_unhashedExtension[MAX_PATH] = "";

// Writes the content of the record the archive is positioned at into a new file at path,
// adding it to hash when one is given. Returns false when the file cannot be created;
// *copied tells whether all content arrived.
bool WriteRecordFile(PayloadArchive& archive, const char* path, uint32_t contentSize, bool* copied,
                     Sha256Hash* hash) {
    HANDLE output = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return false;
    char buffer[kCopyBufferSize];
    uint32_t remaining = contentSize;
    *copied = true;
    while (remaining > 0) {
        uint32_t chunk = remaining < kCopyBufferSize ? remaining : kCopyBufferSize;
        uint32_t got = archive.Read(buffer, chunk);
        DWORD written = 0;
        if (hash != nullptr && got > 0) (void)hash->Add(buffer, got);  // a failure fails Finish
        if (got > 0 && (!WriteFile(output, buffer, got, &written, nullptr) || written != got)) {
            *copied = false;
            break;
        }
        // The record was checked to lie within the file, so a short read is an I/O error.
        if (got != chunk) {
            *copied = false;
            break;
        }
        remaining -= chunk;
    }
    CloseHandle(output);
    return true;
}

}  // namespace

PayloadArchive::PayloadArchive()
    : file(INVALID_HANDLE_VALUE), payloadStart(0), endOfRecords(0), trailerState(TrailerAbsent) {}

PayloadArchive::~PayloadArchive() { Close(); }

bool PayloadArchive::Open(const char* path) {
    Close();
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    // INVALID_FILE_SIZE is also a valid low half; only the last error tells them apart,
    // so it is cleared first.
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);
    DWORD sizeLow = GetFileSize(file, &sizeHigh);
    uint64_t fileSize = sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR
                            ? 0
                            : (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    PayloadEnd located;
    PayloadTrailer trailer = ReadImageTrailer(ReadAt, file, fileSize, &located);
    trailerState = trailer.state;
    payloadStart = trailer.payloadStart;
    endOfRecords = trailer.endOfRecords;
    return true;
}

uint32_t PayloadArchive::FirstRecordOffset() const { return payloadStart; }

bool PayloadArchive::ReadAt(void* source, uint32_t offset, void* buffer, uint32_t count) {
    HANDLE handle = static_cast<HANDLE>(source);
    LONG high = 0;
    SetLastError(NO_ERROR);
    if (SetFilePointer(handle, static_cast<LONG>(offset), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    DWORD got = 0;
    return ReadFile(handle, buffer, count, &got, nullptr) && got == count;
}

RecordResult PayloadArchive::ReadRecordHeader(uint32_t* offset, char* name, size_t nameSize,
                                              uint32_t* contentSize) {
    if (file == INVALID_HANDLE_VALUE) return RecordsEnd;
    if (trailerState == TrailerUnusable) return RecordBadTrailer;
    PayloadRecord record;
    RecordResult result = ReadPayloadRecord(ReadAt, file, *offset, endOfRecords, &record);
    if (result != RecordFound) return result;
    // The name always fits the 260 bytes callers pass; a smaller buffer would change it.
    if (!CopyTextN(name, nameSize, record.name)) return RecordBadNameLength;
    *contentSize = record.contentSize;
    *offset = record.nextOffset;
    return RecordFound;
}

uint32_t PayloadArchive::Read(void* buffer, uint32_t count) {
    DWORD got = 0;
    if (file == INVALID_HANDLE_VALUE || !ReadFile(file, buffer, count, &got, nullptr)) return 0;
    return got;
}

void PayloadArchive::Close() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

namespace {

// Writes one record at path; the extension library's digest goes into digests.
bool ExtractRecord(PayloadArchive& archive, const char* name, const char* path,
                   uint32_t contentSize, VerifiedFiles* digests, bool* copied) {
    if (digests == nullptr || !EqualsIgnoringCase(name, kExtensionName))
        return WriteRecordFile(archive, path, contentSize, copied, nullptr);
    Sha256Hash hash;
    bool hashing = hash.Start();
    if (!WriteRecordFile(archive, path, contentSize, copied, hashing ? &hash : nullptr))
        return false;
    Sha256Digest digest;
    if (!hashing)
        CopyText(g_unhashedExtension, path);
    else if (*copied && hash.Finish(digest))
        (void)digests->Record(path, digest);  // unrecorded, it is never loaded
    return true;
}

}  // namespace

bool ExtractedUnhashedExtension(const char* path) {
    return g_unhashedExtension[0] != '\0' && EqualsIgnoringCase(g_unhashedExtension, path);
}

bool ExtractPayloadFromFile(const char* executablePath, const char* workDirectory,
                            DescriptionHandler handler, void* context, VerifiedFiles* digests) {
    PayloadArchive archive;
    if (!archive.Open(executablePath)) return true;
    uint32_t offset = archive.FirstRecordOffset();
    for (;;) {
        char name[kMaxRecordNameLength];
        uint32_t contentSize = 0;
        RecordResult result = archive.ReadRecordHeader(&offset, name, sizeof name, &contentSize);
        if (result == RecordsEnd) return true;
        if (result != RecordFound) return false;

        char path[MAX_PATH];
        if (JoinPath(workDirectory, name, path, sizeof path)[0] == '\0') return false;
        if (strpbrk(name, "\\/") != nullptr) CreateParentDirectories(path);
        bool copied = false;
        if (!ExtractRecord(archive, name, path, contentSize, digests, &copied)) return false;
        if (handler != nullptr && IsDescriptionPath(path)) handler(context, path);
        if (!copied) return false;
    }
}

bool ExtractPayload(const char* workDirectory, DescriptionHandler handler, void* context,
                    VerifiedFiles* digests) {
    char executablePath[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, executablePath, sizeof executablePath);
    // A cut module path would name another file; treat it like an unopenable executable.
    if (length == 0 || length >= sizeof executablePath) return true;
    return ExtractPayloadFromFile(executablePath, workDirectory, handler, context, digests);
}
