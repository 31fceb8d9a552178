// The appended payload as the installer and the publisher tool walk it: the input is a
// whole executable image, its last 16 bytes the trailer, the records before it.
#include "common/text.h"
#include "config/payload_format.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Image {
    const uint8_t* data;
    size_t size;
    uint32_t endOfRecords;
};

// Reads as the installer's file reads do, and holds the walk to its promise: no read
// reaches past the end of the records into the trailer.
bool ReadImageAt(void* source, uint32_t offset, void* buffer, uint32_t count) {
    const Image* image = static_cast<const Image*>(source);
    FUZZ_CHECK(static_cast<uint64_t>(offset) + count <= image->endOfRecords);
    if (static_cast<uint64_t>(offset) + count > image->size) return false;
    memcpy(buffer, image->data + offset, count);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t tailLength = size < kTrailerSize ? size : kTrailerSize;
    unsigned char tail[kTrailerSize] = {};
    memcpy(tail, data + size - tailLength, tailLength);
    PayloadTrailer trailer = ParseTrailer(tail, tailLength, size);
    FUZZ_CHECK(trailer.endOfRecords <= size);
    if (trailer.state == TrailerAbsent) FUZZ_CHECK(trailer.payloadStart == size);
    if (trailer.state != TrailerPresent) return 0;
    FUZZ_CHECK(trailer.payloadStart <= trailer.endOfRecords);
    FUZZ_CHECK(trailer.endOfRecords + kTrailerSize == size);

    Image image = {data, size, trailer.endOfRecords};
    uint32_t offset = trailer.payloadStart;
    for (;;) {
        PayloadRecord record;
        RecordResult result =
            ReadPayloadRecord(ReadImageAt, &image, offset, trailer.endOfRecords, &record);
        FUZZ_CHECK(DescribeRecordResult(result) != nullptr);
        if (result == RecordUnsafeName) {
            FUZZ_CHECK(BoundedLength(record.name, sizeof record.name) < sizeof record.name);
            FUZZ_CHECK(!IsSafeRecordName(record.name));
        }
        if (result != RecordFound) break;
        // A found record lies wholly before the trailer, and the walk moves forward.
        FUZZ_CHECK(record.offset == offset);
        FUZZ_CHECK(record.contentOffset > record.offset + kRecordHeaderSize);
        FUZZ_CHECK(static_cast<uint64_t>(record.contentOffset) + record.contentSize <=
                   trailer.endOfRecords);
        FUZZ_CHECK(record.nextOffset == record.contentOffset + record.contentSize);
        FUZZ_CHECK(record.nextOffset > offset);
        size_t nameLength = BoundedLength(record.name, sizeof record.name);
        FUZZ_CHECK(nameLength > 0 && nameLength < sizeof record.name);
        FUZZ_CHECK(IsSafeRecordName(record.name));
        FUZZ_CHECK(strchr(record.name, ':') == nullptr);
        IsDescriptionPath(record.name);
        offset = record.nextOffset;
    }
    return 0;
}
