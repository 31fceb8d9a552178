// Decoding, encoding and acceptance of the appended payload's trailer and records.
#include "config/payload_format.h"

#include "common/text.h"

const char kPayloadMarker[kMarkerSize + 1] = "RivUdov Data";

namespace {

const uint64_t kMaxOffset = 0xFFFFFFFFu;

void EncodeUint32(uint32_t value, unsigned char* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void EncodeUint16(uint16_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and blanks from a path component, so ".. " and "..." can
// name the parent directory just like "..".
bool ClimbsOut(const char* component, size_t length) {
    size_t dots = 0;
    for (size_t i = 0; i < length; ++i) {
        if (component[i] == '.')
            ++dots;
        else if (component[i] != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

uint32_t DecodeUint32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint16_t DecodeUint16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

PayloadTrailer ParseTrailer(const unsigned char* tail, size_t tailLength, uint64_t fileSize) {
    PayloadTrailer trailer;
    bool marked = fileSize >= kTrailerSize && tailLength >= kTrailerSize &&
                  memcmp(tail + 4, kPayloadMarker, kMarkerSize) == 0;
    if (!marked) {
        uint32_t end = fileSize > kMaxOffset ? static_cast<uint32_t>(kMaxOffset)
                                             : static_cast<uint32_t>(fileSize);
        trailer.state = TrailerAbsent;
        trailer.payloadStart = end;
        trailer.endOfRecords = end;
        return trailer;
    }
    uint64_t end = fileSize - kTrailerSize;
    trailer.payloadStart = DecodeUint32(tail);
    trailer.endOfRecords =
        end > kMaxOffset ? static_cast<uint32_t>(kMaxOffset) : static_cast<uint32_t>(end);
    trailer.state =
        (end > kMaxOffset || trailer.payloadStart > end) ? TrailerUnusable : TrailerPresent;
    return trailer;
}

void EncodeTrailer(uint32_t payloadStart, unsigned char* bytes) {
    EncodeUint32(payloadStart, bytes);
    memcpy(bytes + 4, kPayloadMarker, kMarkerSize);
}

RecordHeader DecodeRecordHeader(const unsigned char* bytes) {
    RecordHeader header;
    header.contentSize = DecodeUint32(bytes);
    header.nameLength = DecodeUint16(bytes + 4);
    header.reserved = DecodeUint16(bytes + 6);
    return header;
}

void EncodeRecordHeader(const RecordHeader& header, unsigned char* bytes) {
    EncodeUint32(header.contentSize, bytes);
    EncodeUint16(header.nameLength, bytes + 4);
    EncodeUint16(header.reserved, bytes + 6);
}

const char* DescribeRecordResult(RecordResult result) {
    switch (result) {
    case RecordFound:
        return "record found";
    case RecordsEnd:
        return "end of records";
    case RecordBadTrailer:
        return "the trailer's first record offset lies past the trailer";
    case RecordStartsPastEnd:
        return "the record starts past the end of the records";
    case RecordHeaderCut:
        return "the record header is cut short by the trailer";
    case RecordBadNameLength:
        return "the name length is 0 or above 260";
    case RecordContentPastEnd:
        return "the record's name or content runs into the trailer";
    case RecordUnsafeName:
        return "the record name is empty, absolute or leaves its directory";
    case RecordReadFailed:
        return "the record could not be read";
    }
    return "unknown record result";
}

RecordResult CheckRecordOffset(uint32_t offset, uint32_t endOfRecords) {
    if (offset == endOfRecords) return RecordsEnd;
    if (offset > endOfRecords) return RecordStartsPastEnd;
    if (static_cast<uint64_t>(offset) + kRecordHeaderSize > endOfRecords) return RecordHeaderCut;
    return RecordFound;
}

RecordResult CheckRecordHeader(uint32_t offset, const RecordHeader& header, uint32_t endOfRecords) {
    if (header.nameLength == 0 || header.nameLength > kMaxRecordNameLength)
        return RecordBadNameLength;
    uint64_t end =
        static_cast<uint64_t>(offset) + kRecordHeaderSize + header.nameLength + header.contentSize;
    if (end > endOfRecords) return RecordContentPastEnd;
    return RecordFound;
}

void DecodeRecordName(const unsigned char* bytes, uint16_t nameLength, char* name) {
    if (nameLength == 0) return;
    memcpy(name, bytes, nameLength);
    name[nameLength - 1] = '\0';
}

bool IsSafeRecordName(const char* name) {
    if (name[0] == '\0' || IsSeparator(name[0])) return false;
    if (strchr(name, ':') != nullptr) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (ClimbsOut(component, static_cast<size_t>(p - component))) return false;
            if (*p == '\0') return true;
            component = p + 1;
        }
    }
}

bool IsDescriptionPath(const char* path) {
    const char* extension = strrchr(path, '.');
    return extension != nullptr && EqualsIgnoringCase(extension, ".inf");
}

RecordResult ReadPayloadRecord(ReadAtFunction readAt, void* source, uint32_t offset,
                               uint32_t endOfRecords, PayloadRecord* record) {
    RecordResult result = CheckRecordOffset(offset, endOfRecords);
    if (result != RecordFound) return result;
    unsigned char headerBytes[kRecordHeaderSize];
    if (!readAt(source, offset, headerBytes, kRecordHeaderSize)) return RecordReadFailed;
    RecordHeader header = DecodeRecordHeader(headerBytes);
    result = CheckRecordHeader(offset, header, endOfRecords);
    if (result != RecordFound) return result;

    unsigned char nameBytes[kMaxRecordNameLength];
    if (!readAt(source, offset + kRecordHeaderSize, nameBytes, header.nameLength))
        return RecordReadFailed;
    DecodeRecordName(nameBytes, header.nameLength, record->name);
    if (!IsSafeRecordName(record->name)) return RecordUnsafeName;

    record->offset = offset;
    record->contentOffset = offset + kRecordHeaderSize + header.nameLength;
    record->contentSize = header.contentSize;
    record->nextOffset = record->contentOffset + header.contentSize;
    return RecordFound;
}
