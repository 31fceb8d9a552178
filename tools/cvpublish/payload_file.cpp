// The publisher tool's access to an executable's payload through the C standard library.
#include "tools/cvpublish/payload_file.h"

#include <limits.h>

#include "common/text.h"

namespace {

const size_t kCopyBufferSize = 65536;

}  // namespace

bool SeekFile(FILE* file, uint64_t offset) {
    return offset <= static_cast<uint64_t>(LONG_MAX) &&
           fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

bool OpenPayloadFile(const char* path, const char* mode, PayloadFile* payload) {
    payload->path = path;
    payload->file = fopen(path, mode);
    if (payload->file == nullptr) {
        fprintf(stderr, "cvpublish: cannot open %s\n", path);
        return false;
    }
    long size = -1;
    if (fseek(payload->file, 0, SEEK_END) == 0) size = ftell(payload->file);
    if (size < 0) {
        fprintf(stderr, "cvpublish: cannot measure %s\n", path);
        fclose(payload->file);
        payload->file = nullptr;
        return false;
    }
    payload->size = static_cast<uint64_t>(size);
    payload->trailer = ReadImageTrailer(ReadPayloadFileAt, payload, payload->size, &payload->end);
    return true;
}

const char* SigningText(const PayloadFile& payload) {
    return DescribeImageSigning(payload.end.signing);
}

bool ClosePayloadFile(PayloadFile* payload) {
    if (payload->file == nullptr) return true;
    bool closed = fclose(payload->file) == 0;
    payload->file = nullptr;
    if (!closed) fprintf(stderr, "cvpublish: cannot write %s\n", payload->path);
    return closed;
}

bool ReadPayloadFileAt(void* source, uint32_t offset, void* buffer, uint32_t count) {
    PayloadFile* payload = static_cast<PayloadFile*>(source);
    return SeekFile(payload->file, offset) && fread(buffer, 1, count, payload->file) == count;
}

bool WalkPayload(PayloadFile* payload, RecordVisitor visit, void* context) {
    RecordResult result = RecordsEnd;
    uint32_t offset = payload->trailer.payloadStart;
    PayloadRecord record;
    if (payload->trailer.state == TrailerUnusable) {
        result = RecordBadTrailer;
    } else {
        for (;;) {
            result = ReadPayloadRecord(ReadPayloadFileAt, payload, offset,
                                       payload->trailer.endOfRecords, &record);
            if (result != RecordFound) break;
            if (visit != nullptr && !visit(context, payload, record)) return false;
            offset = record.nextOffset;
        }
    }
    if (result == RecordsEnd) return true;
    fprintf(stderr, "cvpublish: %s: damaged payload at offset %lu: %s", payload->path,
            static_cast<unsigned long>(offset), DescribeRecordResult(result));
    if (result == RecordUnsafeName) fprintf(stderr, " (\"%s\")", record.name);
    fprintf(stderr, "\n");
    return false;
}

bool CopyBytes(FILE* from, FILE* to, uint64_t count) {
    static char buffer[kCopyBufferSize];
    while (count > 0) {
        size_t chunk = count < kCopyBufferSize ? static_cast<size_t>(count) : kCopyBufferSize;
        if (fread(buffer, 1, chunk, from) != chunk) return false;
        if (fwrite(buffer, 1, chunk, to) != chunk) return false;
        count -= chunk;
    }
    return true;
}
