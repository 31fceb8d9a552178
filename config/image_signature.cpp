// The PE headers' security entry, and where it leaves the payload's trailer.
#include "config/image_signature.h"

#include "common/text.h"

namespace {

const uint64_t kMaxOffset = 0xFFFFFFFFu;
const uint32_t kDosHeaderSize = 64;
const uint32_t kNewHeaderOffsetField = 0x3C;
const uint32_t kPeHeaderSize = 24;  // "PE\0\0" and the COFF file header
const uint32_t kOptionalHeaderSizeField = 20;
const uint16_t kMagicPe32 = 0x10B;
const uint16_t kMagicPe32Plus = 0x20B;
const uint32_t kSecurityEntry = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
const uint32_t kDirectoryEntrySize = 8;
const uint32_t kTableAlignment = 8;

bool ReadBounded(ReadAtFunction readAt, void* source, uint64_t fileSize, uint64_t offset,
                 void* buffer, uint32_t count) {
    if (offset + count > fileSize || offset + count > kMaxOffset) return false;
    return readAt(source, static_cast<uint32_t>(offset), buffer, count);
}

PayloadEnd Unsigned(uint64_t fileSize) {
    PayloadEnd located = {ImageUnsigned, fileSize, 0, 0};
    return located;
}

// The zero bytes that align the table to 8 may stand between the trailer and the table;
// nothing else may.
uint64_t EndBeforePadding(ReadAtFunction readAt, void* source, uint32_t table,
                          uint64_t headersEnd) {
    if (table % kTableAlignment != 0 || table <= headersEnd) return table;
    uint64_t available = table - headersEnd;
    uint32_t count =
        available < kTableAlignment - 1 ? static_cast<uint32_t>(available) : kTableAlignment - 1;
    unsigned char before[kTableAlignment];
    if (!readAt(source, table - count, before, count)) return table;
    uint32_t zeros = 0;
    while (zeros < count && before[count - 1 - zeros] == 0) ++zeros;
    return table - zeros;
}

}  // namespace

PayloadEnd LocatePayloadEnd(ReadAtFunction readAt, void* source, uint64_t fileSize) {
    unsigned char dos[kDosHeaderSize];
    if (!ReadBounded(readAt, source, fileSize, 0, dos, sizeof dos) || dos[0] != 'M' ||
        dos[1] != 'Z')
        return Unsigned(fileSize);
    uint64_t peOffset = DecodeUint32(dos + kNewHeaderOffsetField);
    unsigned char pe[kPeHeaderSize];
    if (!ReadBounded(readAt, source, fileSize, peOffset, pe, sizeof pe) ||
        memcmp(pe, "PE\0\0", 4) != 0)
        return Unsigned(fileSize);
    uint32_t optionalSize = DecodeUint16(pe + kOptionalHeaderSizeField);
    uint64_t optionalOffset = peOffset + kPeHeaderSize;

    unsigned char magic[2];
    if (!ReadBounded(readAt, source, fileSize, optionalOffset, magic, sizeof magic))
        return Unsigned(fileSize);
    uint16_t kind = DecodeUint16(magic);
    uint32_t countField = kind == kMagicPe32 ? 92 : kind == kMagicPe32Plus ? 108 : 0;
    if (countField == 0) return Unsigned(fileSize);
    uint32_t entryField = countField + 4 + kSecurityEntry * kDirectoryEntrySize;
    if (optionalSize < entryField + kDirectoryEntrySize) return Unsigned(fileSize);

    unsigned char count[4], entry[kDirectoryEntrySize];
    if (!ReadBounded(readAt, source, fileSize, optionalOffset + countField, count, sizeof count) ||
        DecodeUint32(count) <= kSecurityEntry ||
        !ReadBounded(readAt, source, fileSize, optionalOffset + entryField, entry, sizeof entry))
        return Unsigned(fileSize);
    PayloadEnd located = {ImageSigned, fileSize, DecodeUint32(entry), DecodeUint32(entry + 4)};
    if (located.tableOffset == 0 && located.tableSize == 0) return Unsigned(fileSize);

    uint64_t headersEnd = optionalOffset + optionalSize;
    if (located.tableSize == 0 || located.tableOffset < headersEnd ||
        static_cast<uint64_t>(located.tableOffset) + located.tableSize != fileSize) {
        located.signing = ImageSignatureOdd;
        return located;
    }
    located.end = EndBeforePadding(readAt, source, located.tableOffset, headersEnd);
    return located;
}

PayloadTrailer ReadImageTrailer(ReadAtFunction readAt, void* source, uint64_t fileSize,
                                PayloadEnd* located) {
    *located = LocatePayloadEnd(readAt, source, fileSize);
    if (located->signing == ImageSignatureOdd) {
        PayloadTrailer none = {TrailerAbsent, 0, 0};
        return none;
    }
    unsigned char tail[kTrailerSize];
    size_t length = 0;
    if (located->end >= kTrailerSize &&
        ReadBounded(readAt, source, fileSize, located->end - kTrailerSize, tail, kTrailerSize))
        length = kTrailerSize;
    return ParseTrailer(tail, length, located->end);
}

const char* DescribeImageSigning(ImageSigning signing) {
    switch (signing) {
    case ImageUnsigned:
        return "not signed";
    case ImageSigned:
        return "signed (Authenticode)";
    case ImageSignatureOdd:
        return "signed, but its certificate table does not end the file or overlaps the headers";
    }
    return "unknown signing";
}
