// Reading the payload appended to an executable, and extracting it into a directory.
#pragma once

#include "common/win32.h"
#include "config/payload_format.h"
#include "config/verified_files.h"
#include "transfer/authenticity_win.h"

// The reader of one executable's payload; lives on the stack of the extraction.
class PayloadArchive {
public:
    PayloadArchive();
    ~PayloadArchive();
    PayloadArchive(const PayloadArchive&) = delete;
    PayloadArchive& operator=(const PayloadArchive&) = delete;

    // Opens path for reading and decodes its trailer: at the end of the file, or just
    // before the certificate table of a signed image. False only when the file cannot be
    // opened; a file without the marker has an empty payload.
    bool Open(const char* path);
    uint32_t FirstRecordOffset() const;
    // Reads and checks the record at *offset. On RecordFound: the name is in name, its
    // content size in *contentSize, *offset has moved to the next record and the file is
    // positioned at the first content byte. RecordsEnd ends the walk; every other result is
    // a damaged payload, and nothing has been read from a wrong position.
    RecordResult ReadRecordHeader(uint32_t* offset, char* name, size_t nameSize,
                                  uint32_t* contentSize);
    // Reads up to count bytes from the current position; returns the number read.
    uint32_t Read(void* buffer, uint32_t count);
    void Close();

private:
    static bool ReadAt(void* source, uint32_t offset, void* buffer, uint32_t count);

    HANDLE file;
    uint32_t payloadStart;
    uint32_t endOfRecords;
    TrailerState trailerState;
};

// Called with the full path of each extracted file whose name ends in ".inf", right after
// the file has been written and closed, before the next record is extracted.
typedef void (*DescriptionHandler)(void* context, const char* path);

// Extracts the payload of the running executable into workDirectory. True when every
// record was written (or there is no payload, or the executable cannot be opened); false
// when a file could not be written or the payload is damaged or names a file outside
// workDirectory. With digests, the SHA-256 of the extension library the payload ships
// ("cvgetex.dll" at its top) is recorded there as it is written: the executable is what
// the run trusts, so that copy, and no other file of that name, may be loaded.
bool ExtractPayload(const char* workDirectory, DescriptionHandler handler, void* context,
                    VerifiedFiles* digests = nullptr);

// The same extraction from the payload of executablePath.
bool ExtractPayloadFromFile(const char* executablePath, const char* workDirectory,
                            DescriptionHandler handler, void* context,
                            VerifiedFiles* digests = nullptr);

// Whether this process's extraction wrote the extension library at path although the
// system could not hash it (no SHA-256 provider): then only the private work directory
// protects that copy.
bool ExtractedUnhashedExtension(const char* path);
