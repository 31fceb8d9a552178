// The appended payload as the installer and the publisher tool walk it: the input is a
// whole executable image, its trailer at its end or, in a signed image, before the
// certificate table and its padding, the records before the trailer.
#include "common/text.h"
#include "config/image_signature.h"
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

struct Headers {
    const uint8_t* data;
    size_t size;
    uint64_t readEnd;  // the furthest byte any read reached
};

bool ReadHeadersAt(void* source, uint32_t offset, void* buffer, uint32_t count) {
    Headers* headers = static_cast<Headers*>(source);
    uint64_t end = static_cast<uint64_t>(offset) + count;
    FUZZ_CHECK(end <= headers->size);
    if (end > headers->readEnd) headers->readEnd = end;
    memcpy(buffer, headers->data + offset, count);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Headers headers = {data, size, 0};
    PayloadEnd located;
    PayloadTrailer trailer = ReadImageTrailer(ReadHeadersAt, &headers, size, &located);
    FUZZ_CHECK(DescribeImageSigning(located.signing) != nullptr);
    if (located.signing == ImageUnsigned) FUZZ_CHECK(located.end == size);
    // A signed image's table and its padding are never read, nor anything after them.
    if (located.signing == ImageSigned) {
        FUZZ_CHECK(headers.readEnd <= located.tableOffset);
        FUZZ_CHECK(located.end <= located.tableOffset && located.tableOffset - located.end < 8);
        FUZZ_CHECK(static_cast<uint64_t>(located.tableOffset) + located.tableSize == size);
    }
    if (located.signing == ImageSignatureOdd) FUZZ_CHECK(trailer.state == TrailerAbsent);
    FUZZ_CHECK(trailer.endOfRecords <= located.end);
    if (trailer.state == TrailerAbsent) FUZZ_CHECK(trailer.payloadStart == trailer.endOfRecords);
    if (trailer.state != TrailerPresent) return 0;
    FUZZ_CHECK(trailer.payloadStart <= trailer.endOfRecords);
    FUZZ_CHECK(trailer.endOfRecords + kTrailerSize == located.end);

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
