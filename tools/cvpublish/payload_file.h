// The publisher tool's access to an executable's payload through the C standard library.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "config/image_signature.h"
#include "config/payload_format.h"

// Paths the tool builds (a target directory and a record name) fit this many bytes.
const size_t kToolPathSize = 4096;

struct PayloadFile {
    FILE* file;
    const char* path;
    uint64_t size;
    PayloadEnd end;  // whether the image is signed, and where its payload ends
    PayloadTrailer trailer;
};

// The words "signed" or "not signed" for the image, as list and check print them.
const char* SigningText(const PayloadFile& payload);

// Opens path with mode ("rb" or "r+b") and reads its trailer (before the certificate
// table of a signed image). Reports on stderr and returns
// false when the file cannot be opened or measured.
bool OpenPayloadFile(const char* path, const char* mode, PayloadFile* payload);
// Closes the file; false (reported) when buffered output could not be written.
bool ClosePayloadFile(PayloadFile* payload);

// Called for each record in order; returns false to stop the walk with a failure.
typedef bool (*RecordVisitor)(void* context, PayloadFile* payload, const PayloadRecord& record);

// Walks every record of the payload, handing each to visit (which may be null). Returns
// true when the walk reached the end of the records; reports a damaged payload on stderr.
bool WalkPayload(PayloadFile* payload, RecordVisitor visit, void* context);

// Moves to offset; false when the C library cannot address it.
bool SeekFile(FILE* file, uint64_t offset);

// Copies count bytes from the current position of from to the current position of to.
bool CopyBytes(FILE* from, FILE* to, uint64_t count);

// Reads count bytes at offset of a PayloadFile (a ReadAtFunction).
bool ReadPayloadFileAt(void* source, uint32_t offset, void* buffer, uint32_t count);
