// Where the payload ends in an image with or without a certificate table, read from byte
// buffers built like a linker's headers followed by a payload and a signer's table.
#include "config/image_signature.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

const uint32_t kPeOffset = 0x80;
const uint32_t kOptionalOffset = kPeOffset + 24;
const uint32_t kHeadersSize = 0x200;

struct Source {
    const Bytes* bytes;
    uint64_t readEnd;  // the furthest byte any read reached
};

bool ReadFrom(void* source, uint32_t offset, void* buffer, uint32_t count) {
    Source* s = static_cast<Source*>(source);
    if (static_cast<uint64_t>(offset) + count > s->bytes->size()) return false;
    memcpy(buffer, s->bytes->data() + offset, count);
    if (offset + count > s->readEnd) s->readEnd = offset + count;
    return true;
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void Put16(Bytes* bytes, size_t at, uint16_t value) {
    (*bytes)[at] = static_cast<unsigned char>(value);
    (*bytes)[at + 1] = static_cast<unsigned char>(value >> 8);
}

uint32_t SecurityEntry(bool plus) { return kOptionalOffset + (plus ? 144 : 128); }

// Headers of a PE32 or PE32+ image with 16 data directories, a body, and a payload of
// one record whose trailer ends bodyEnd bytes after the headers.
Bytes Image(bool plus, uint32_t bodySize) {
    Bytes bytes(kHeadersSize + bodySize, 0x90);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(&bytes, 0x3C, kPeOffset);
    memcpy(&bytes[kPeOffset], "PE\0\0", 4);
    Put16(&bytes, kPeOffset + 20, plus ? 240 : 224);
    Put16(&bytes, kOptionalOffset, plus ? 0x20B : 0x10B);
    Put32(&bytes, kOptionalOffset + (plus ? 108 : 92), 16);
    memset(&bytes[SecurityEntry(plus)], 0, 8);
    uint32_t payloadStart = static_cast<uint32_t>(bytes.size());
    RecordHeader header = {1, 6, kRecordReservedValue};
    unsigned char record[kRecordHeaderSize];
    EncodeRecordHeader(header, record);
    bytes.insert(bytes.end(), record, record + sizeof record);
    const char name[] = "a.inf\0x";
    bytes.insert(bytes.end(), name, name + 7);
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(payloadStart, trailer);
    bytes.insert(bytes.end(), trailer, trailer + sizeof trailer);
    return bytes;
}

// Signs as a signer does: padding bytes, a table of 64 bytes at the end, the entry set.
uint32_t Sign(Bytes* bytes, bool plus, uint32_t padding, unsigned char padByte = 0) {
    bytes->insert(bytes->end(), padding, padByte);
    uint32_t table = static_cast<uint32_t>(bytes->size());
    bytes->insert(bytes->end(), 64, 0x30);
    Put32(bytes, SecurityEntry(plus), table);
    Put32(bytes, SecurityEntry(plus) + 4, 64);
    return table;
}

// A body size that puts the trailer's end `padding` bytes short of a multiple of 8.
uint32_t BodyFor(uint32_t padding) {
    uint32_t end = kHeadersSize + 100 + kRecordHeaderSize + 7 + kTrailerSize;
    return 100 + (16 - (end + padding) % 8) % 8;
}

struct Located {
    PayloadEnd end;
    PayloadTrailer trailer;
    uint64_t readEnd;
};

Located Locate(const Bytes& bytes) {
    Source source = {&bytes, 0};
    Located located;
    located.trailer = ReadImageTrailer(ReadFrom, &source, bytes.size(), &located.end);
    located.readEnd = source.readEnd;
    return located;
}

TEST(ImageSignature, SignedImagesKeepTheirPayloadBeforeTheTable) {
    for (bool plus : {false, true}) {
        for (uint32_t padding = 0; padding < 8; ++padding) {
            SCOPED_TRACE(testing::Message() << "PE32+ " << plus << ", padding " << padding);
            Bytes bytes = Image(plus, BodyFor(padding));
            uint32_t payloadStart = kHeadersSize + BodyFor(padding);
            uint32_t payloadEnd = static_cast<uint32_t>(bytes.size());
            uint32_t table = Sign(&bytes, plus, padding);
            ASSERT_EQ(0u, table % 8);
            Located located = Locate(bytes);
            EXPECT_EQ(ImageSigned, located.end.signing);
            EXPECT_EQ(payloadEnd, located.end.end);
            EXPECT_EQ(TrailerPresent, located.trailer.state);
            EXPECT_EQ(payloadStart, located.trailer.payloadStart);
            EXPECT_EQ(payloadEnd - kTrailerSize, located.trailer.endOfRecords);
            EXPECT_LE(located.readEnd, table);
        }
    }
}

// Each case starts from a PE32 image signed with 4 bytes of padding and changes it.
struct Case {
    const char* what;
    void (*change)(Bytes* bytes, uint32_t table);
    ImageSigning signing;
    TrailerState trailer;
};

const Case kCases[] = {
    {"as signed", [](Bytes*, uint32_t) {}, ImageSigned, TrailerPresent},
    {"padding not zero", [](Bytes* b, uint32_t table) { (*b)[table - 1] = 0xCC; }, ImageSigned,
     TrailerAbsent},
    {"bytes after the table", [](Bytes* b, uint32_t) { b->insert(b->end(), 16, 0); },
     ImageSignatureOdd, TrailerAbsent},
    {"table within the headers",
     [](Bytes* b, uint32_t) {
         Put32(b, SecurityEntry(false), 0x100);
         Put32(b, SecurityEntry(false) + 4, static_cast<uint32_t>(b->size()) - 0x100);
     },
     ImageSignatureOdd, TrailerAbsent},
    {"table past the file's end",
     [](Bytes* b, uint32_t) { Put32(b, SecurityEntry(false) + 4, 0x10000); }, ImageSignatureOdd,
     TrailerAbsent},
    {"offset and size wrap around 32 bits",
     [](Bytes* b, uint32_t) {
         Put32(b, SecurityEntry(false), 0xFFFFFFF8u);
         Put32(b, SecurityEntry(false) + 4, static_cast<uint32_t>(b->size()) + 8);
     },
     ImageSignatureOdd, TrailerAbsent},
    // Without the entry the table is just the file's tail, and no trailer ends it.
    {"four data directories", [](Bytes* b, uint32_t) { Put32(b, kOptionalOffset + 92, 4); },
     ImageUnsigned, TrailerAbsent},
    {"optional header too short for the entry",
     [](Bytes* b, uint32_t) { Put16(b, kPeOffset + 20, 128); }, ImageUnsigned, TrailerAbsent},
    {"unknown optional header", [](Bytes* b, uint32_t) { Put16(b, kOptionalOffset, 0x107); },
     ImageUnsigned, TrailerAbsent},
    {"headers cut", [](Bytes* b, uint32_t) { b->resize(kPeOffset + 30); }, ImageUnsigned,
     TrailerAbsent},
    {"new header offset past the end", [](Bytes* b, uint32_t) { Put32(b, 0x3C, 0x7FFFFFF0u); },
     ImageUnsigned, TrailerAbsent},
    {"not an image", [](Bytes* b, uint32_t) { (*b)[0] = 'X'; }, ImageUnsigned, TrailerAbsent},
};

TEST(ImageSignature, DamagedOrOddEntriesNeverReadTheTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = Image(false, BodyFor(4));
        uint32_t table = Sign(&bytes, false, 4);
        c.change(&bytes, table);
        Located located = Locate(bytes);
        EXPECT_EQ(c.signing, located.end.signing);
        EXPECT_EQ(c.trailer, located.trailer.state);
        if (c.signing == ImageSignatureOdd) {
            EXPECT_LE(located.readEnd, kHeadersSize);
        }
    }
}

TEST(ImageSignature, UnsignedImagesEndTheirPayloadAtTheFileEnd) {
    for (bool plus : {false, true}) {
        Bytes bytes = Image(plus, 100);
        Located located = Locate(bytes);
        EXPECT_EQ(ImageUnsigned, located.end.signing);
        EXPECT_EQ(bytes.size(), located.end.end);
        EXPECT_EQ(TrailerPresent, located.trailer.state);
        EXPECT_EQ(kHeadersSize + 100, located.trailer.payloadStart);
    }
    // A payload on bytes that are no image at all, as before signing was known.
    Bytes raw = Image(false, 100);
    raw[1] = 'Y';
    EXPECT_EQ(TrailerPresent, Locate(raw).trailer.state);
}

}  // namespace
