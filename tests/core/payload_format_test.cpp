// The payload's trailer and records decoded from byte buffers: layout, every damaged
// header, unsafe names, and every cut of a valid payload handled without a crash.
#include "config/payload_format.h"
#include "config/paths.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

struct ByteSource {
    const Bytes* bytes;
    size_t size;  // the visible prefix
};

bool ReadFromBytes(void* source, uint32_t offset, void* buffer, uint32_t count) {
    const ByteSource* s = static_cast<const ByteSource*>(source);
    if (static_cast<uint64_t>(offset) + count > s->size) return false;
    memcpy(buffer, s->bytes->data() + offset, count);
    return true;
}

void AppendRecord(Bytes* out, const std::string& name, const std::string& content,
                  int nameLength = -1, int64_t contentSize = -1) {
    RecordHeader header;
    header.contentSize = contentSize < 0 ? static_cast<uint32_t>(content.size())
                                         : static_cast<uint32_t>(contentSize);
    header.nameLength =
        nameLength < 0 ? static_cast<uint16_t>(name.size() + 1) : static_cast<uint16_t>(nameLength);
    header.reserved = kRecordReservedValue;
    unsigned char bytes[kRecordHeaderSize];
    EncodeRecordHeader(header, bytes);
    out->insert(out->end(), bytes, bytes + sizeof bytes);
    out->insert(out->end(), name.begin(), name.end());
    out->push_back(0);
    out->insert(out->end(), content.begin(), content.end());
}

void AppendTrailer(Bytes* out, uint32_t payloadStart) {
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(payloadStart, bytes);
    out->insert(out->end(), bytes, bytes + sizeof bytes);
}

PayloadTrailer TrailerOf(const Bytes& file, size_t size) {
    size_t tail = size < kTrailerSize ? size : kTrailerSize;
    return ParseTrailer(file.data() + size - tail, tail, size);
}

struct Walk {
    std::vector<std::string> names;
    std::vector<std::string> contents;
    RecordResult end;
};

// Walks the payload of the first size bytes of file the way the installer does.
Walk WalkBytes(const Bytes& file, size_t size) {
    Walk walk;
    ByteSource source = {&file, size};
    PayloadTrailer trailer = TrailerOf(file, size);
    if (trailer.state == TrailerUnusable) {
        walk.end = RecordBadTrailer;
        return walk;
    }
    uint32_t offset = trailer.payloadStart;
    for (;;) {
        PayloadRecord record;
        walk.end = ReadPayloadRecord(ReadFromBytes, &source, offset, trailer.endOfRecords, &record);
        if (walk.end != RecordFound) return walk;
        EXPECT_LE(static_cast<uint64_t>(record.contentOffset) + record.contentSize,
                  trailer.endOfRecords);
        EXPECT_EQ(record.nextOffset, record.contentOffset + record.contentSize);
        EXPECT_GT(record.nextOffset, offset);
        walk.names.push_back(record.name);
        walk.contents.push_back(std::string(
            reinterpret_cast<const char*>(file.data()) + record.contentOffset, record.contentSize));
        offset = record.nextOffset;
    }
}

const char kImage[] = "MZ fake image bytes";

Bytes ImageBytes() { return Bytes(kImage, kImage + sizeof kImage); }

}  // namespace

TEST(PayloadFormat, ShippedLayoutDecodes) {
    const unsigned char header[] = {0xF5, 0x02, 0x00, 0x00, 0x0C, 0x00, 0xFF, 0xFF};
    RecordHeader decoded = DecodeRecordHeader(header);
    EXPECT_EQ(757u, decoded.contentSize);
    EXPECT_EQ(12u, decoded.nameLength);
    EXPECT_EQ(0xFFFFu, decoded.reserved);
    unsigned char encoded[kRecordHeaderSize];
    EncodeRecordHeader(decoded, encoded);
    EXPECT_EQ(0, memcmp(header, encoded, sizeof header));

    unsigned char trailer[kTrailerSize];
    EncodeTrailer(0x17C00, trailer);
    const unsigned char expected[] = {0x00, 0x7C, 0x01, 0x00, 'R', 'i', 'v', 'U',
                                      'd',  'o',  'v',  ' ',  'D', 'a', 't', 'a'};
    EXPECT_EQ(0, memcmp(expected, trailer, sizeof expected));
    PayloadTrailer parsed = ParseTrailer(trailer, sizeof trailer, 97280 + 793);
    EXPECT_EQ(TrailerPresent, parsed.state);
    EXPECT_EQ(97280u, parsed.payloadStart);
    EXPECT_EQ(97280u + 777u, parsed.endOfRecords);
}

TEST(PayloadFormat, TrailerStates) {
    struct Case {
        const char* what;
        const char* marker;
        uint32_t payloadStart;
        size_t tailLength;
        uint64_t fileSize;
        TrailerState state;
        uint32_t start, end;
    };
    const Case cases[] = {
        {"marked", "RivUdov Data", 100, 16, 200, TrailerPresent, 100, 184},
        {"empty payload", "RivUdov Data", 184, 16, 200, TrailerPresent, 184, 184},
        {"start past trailer", "RivUdov Data", 185, 16, 200, TrailerUnusable, 185, 184},
        {"marker case differs", "rivUdov Data", 100, 16, 200, TrailerAbsent, 200, 200},
        {"marker last byte", "RivUdov Datb", 100, 16, 200, TrailerAbsent, 200, 200},
        {"file of 15 bytes", "RivUdov Data", 0, 15, 15, TrailerAbsent, 15, 15},
        {"empty file", "RivUdov Data", 0, 0, 0, TrailerAbsent, 0, 0},
        {"only a trailer", "RivUdov Data", 0, 16, 16, TrailerPresent, 0, 0},
        {"5 GiB marked", "RivUdov Data", 0, 16, 5ull << 30, TrailerUnusable, 0, 0xFFFFFFFFu},
        {"5 GiB unmarked", "xxxxxxxxxxxx", 0, 16, 5ull << 30, TrailerAbsent, 0xFFFFFFFFu,
         0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        unsigned char tail[kTrailerSize];
        EncodeTrailer(c.payloadStart, tail);
        memcpy(tail + 4, c.marker, kMarkerSize);
        // A short file's tail is its end: hand over its last tailLength bytes.
        PayloadTrailer t =
            ParseTrailer(tail + kTrailerSize - c.tailLength, c.tailLength, c.fileSize);
        EXPECT_EQ(c.state, t.state) << c.what;
        EXPECT_EQ(c.start, t.payloadStart) << c.what;
        EXPECT_EQ(c.end, t.endOfRecords) << c.what;
    }
}

TEST(PayloadFormat, RecordWalks) {
    struct Case {
        const char* what;
        void (*build)(Bytes*);
        std::vector<std::string> names;
        RecordResult end;
    };
    const Case cases[] = {
        {"no payload", [](Bytes*) {}, {}, RecordsEnd},
        {"zero-size record", [](Bytes* b) { AppendRecord(b, "empty", ""); }, {"empty"}, RecordsEnd},
        {"records end at the trailer",
         [](Bytes* b) {
             AppendRecord(b, "sub\\a.inf", "[defs]\r\n");
             AppendRecord(b, "readme", std::string(3000, 'r'));
         },
         {"sub\\a.inf", "readme"},
         RecordsEnd},
        {"name of 259 characters",
         [](Bytes* b) { AppendRecord(b, std::string(259, 'n'), "x"); },
         {std::string(259, 'n')},
         RecordsEnd},
        {"name length 0", [](Bytes* b) { AppendRecord(b, "", "abc", 0); }, {}, RecordBadNameLength},
        {"name length 261",
         [](Bytes* b) { AppendRecord(b, std::string(260, 'n'), "x"); },
         {},
         RecordBadNameLength},
        {"content one byte past the trailer",
         [](Bytes* b) { AppendRecord(b, "a", "abc", -1, 4); },
         {},
         RecordContentPastEnd},
        {"name past the trailer",
         [](Bytes* b) {
             AppendRecord(b, "good", "x");
             AppendRecord(b, "a", "", 200);
         },
         {"good"},
         RecordContentPastEnd},
        {"content size 0xFFFFFFFF",
         [](Bytes* b) { AppendRecord(b, "a", "abc", -1, 0xFFFFFFFFll); },
         {},
         RecordContentPastEnd},
        {"header cut short",
         [](Bytes* b) {
             AppendRecord(b, "good", "x");
             b->insert(b->end(), 5, 0);
         },
         {"good"},
         RecordHeaderCut},
        {"parent component",
         [](Bytes* b) {
             AppendRecord(b, "good", "x");
             AppendRecord(b, "sub\\..\\..\\evil", "x");
         },
         {"good"},
         RecordUnsafeName},
        {"name of a NUL only", [](Bytes* b) { AppendRecord(b, "", "x"); }, {}, RecordUnsafeName},
    };
    for (const Case& c : cases) {
        Bytes file = ImageBytes();
        c.build(&file);
        if (file.size() > sizeof kImage) AppendTrailer(&file, sizeof kImage);
        Walk walk = WalkBytes(file, file.size());
        EXPECT_EQ(c.names, walk.names) << c.what;
        EXPECT_EQ(c.end, walk.end) << c.what;
    }
}

TEST(PayloadFormat, ContentIsReadFromTheRightPlace) {
    Bytes file = ImageBytes();
    AppendRecord(&file, "a.inf", "first");
    AppendRecord(&file, "empty", "");
    AppendRecord(&file, "b", std::string("\0second\0", 8));
    AppendTrailer(&file, sizeof kImage);
    Walk walk = WalkBytes(file, file.size());
    ASSERT_EQ(3u, walk.contents.size());
    EXPECT_EQ("first", walk.contents[0]);
    EXPECT_EQ("", walk.contents[1]);
    EXPECT_EQ(std::string("\0second\0", 8), walk.contents[2]);
    EXPECT_EQ(RecordsEnd, walk.end);
}

TEST(PayloadFormat, OffsetsNearTheTopOfTheRange) {
    struct Case {
        uint32_t offset, end;
        uint32_t contentSize;
        uint16_t nameLength;
        RecordResult place, header;
    };
    const Case cases[] = {
        {0xFFFFFFF0u, 0xFFFFFFFFu, 0, 1, RecordFound, RecordFound},
        {0xFFFFFFF0u, 0xFFFFFFFFu, 0, 7, RecordFound, RecordFound},
        {0xFFFFFFF0u, 0xFFFFFFFFu, 0, 8, RecordFound, RecordContentPastEnd},
        {0xFFFFFFF7u, 0xFFFFFFFFu, 0, 0, RecordFound, RecordBadNameLength},
        {0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, RecordFound, RecordContentPastEnd},
        {0xFFFFFFF8u, 0xFFFFFFFFu, 0, 1, RecordHeaderCut, RecordContentPastEnd},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1, RecordsEnd, RecordContentPastEnd},
        {0xFFFFFFFFu, 0xFFFFFFF0u, 0, 1, RecordStartsPastEnd, RecordContentPastEnd},
        {10, 100, 0xFFFFFFF0u, 260, RecordFound, RecordContentPastEnd},
        {10, 279, 1, 260, RecordFound, RecordFound},
    };
    for (const Case& c : cases) {
        RecordHeader header = {c.contentSize, c.nameLength, 0};
        EXPECT_EQ(c.place, CheckRecordOffset(c.offset, c.end)) << c.offset;
        EXPECT_EQ(c.header, CheckRecordHeader(c.offset, header, c.end)) << c.offset;
    }
}

TEST(PayloadFormat, EveryCutOfAValidPayloadIsHandled) {
    Bytes records;
    std::vector<size_t> boundaries = {0};
    AppendRecord(&records, "tarrock.inf", "[defs]\r\ncomponents=a\r\n");
    boundaries.push_back(records.size());
    AppendRecord(&records, "empty", "");
    boundaries.push_back(records.size());
    AppendRecord(&records, "sub\\b.bin", std::string(40, 'b'));
    boundaries.push_back(records.size());

    // The records cut anywhere and sealed with a trailer: a clean end only at a boundary.
    for (size_t cut = 0; cut <= records.size(); ++cut) {
        Bytes file = ImageBytes();
        file.insert(file.end(), records.begin(), records.begin() + cut);
        AppendTrailer(&file, sizeof kImage);
        Walk walk = WalkBytes(file, file.size());
        bool boundary = false;
        for (size_t b : boundaries) boundary = boundary || b == cut;
        EXPECT_EQ(boundary, walk.end == RecordsEnd) << cut;
    }
    // The finished file cut anywhere: the trailer is gone, so nothing is found, except the
    // whole file.
    Bytes file = ImageBytes();
    file.insert(file.end(), records.begin(), records.end());
    AppendTrailer(&file, sizeof kImage);
    for (size_t size = 0; size <= file.size(); ++size) {
        Walk walk = WalkBytes(file, size);
        EXPECT_EQ(RecordsEnd, walk.end) << size;
        EXPECT_EQ(size == file.size() ? 3u : 0u, walk.names.size()) << size;
    }
}

TEST(PayloadFormat, NameDecoding) {
    struct Case {
        const char* bytes;
        uint16_t length;
        const char* name;
    };
    const Case cases[] = {
        {"abc", 4, "abc"},    // terminated where the length says
        {"ab\0cd", 6, "ab"},  // an earlier NUL ends the name
        {"abcd", 4, "abc"},   // no NUL: the last byte becomes one
        {"\0", 1, ""},
    };
    for (const Case& c : cases) {
        char name[kMaxRecordNameLength];
        memset(name, 'x', sizeof name);
        DecodeRecordName(reinterpret_cast<const unsigned char*>(c.bytes), c.length, name);
        EXPECT_STREQ(c.name, name);
    }
}

TEST(PayloadFormat, UnsafeNamesAreRefused) {
    const char* safe[] = {"tarrock.inf", "sub\\a.inf", "sub/a.inf", "a..b",    "..a",
                          "a..",         ".hidden",    ".\\a",      "a\\.\\b", "x.inf.bak"};
    const char* unsafe[] = {"",       "\\abs",        "/abs",      "C:\\x",
                            "c:x",    "a:stream",     "..",        "..\\x",
                            "../x",   "a\\..\\..\\x", "a/../../x", "a\\..",
                            "...\\x", ".. \\x",       "a\\. .\\b", "\\\\server\\share"};
    for (const char* name : safe) EXPECT_TRUE(IsSafeRecordName(name)) << name;
    for (const char* name : unsafe) EXPECT_FALSE(IsSafeRecordName(name)) << name;
}

TEST(PayloadFormat, DescriptionsAreNamedByTheirExtension) {
    struct Case {
        const char* path;
        bool description;
    };
    const Case cases[] = {
        {"C:\\w\\tarrock.inf", true}, {"C:\\w\\X.INF", true},   {"C:\\w\\sub\\a.Inf", true},
        {"C:\\w\\x.inf.bak", false},  {"C:\\w\\readme", false}, {"C:\\w.inf\\readme", false},
        {"C:\\w\\inf", false},        {"C:\\w\\a.infx", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.description, IsDescriptionPath(c.path)) << c.path;
}

TEST(Paths, JoinPathNeverCutsAName) {
    struct Case {
        size_t directoryLength, nameLength, size;
        bool fits;
    };
    const Case cases[] = {
        {3, 4, 260, true}, {200, 58, 260, true}, {200, 59, 260, false}, {259, 1, 260, false},
        {3, 4, 9, true},   {3, 5, 9, false},     {0, 0, 2, true},
    };
    for (const Case& c : cases) {
        std::string directory(c.directoryLength, 'd'), name(c.nameLength, 'n');
        char output[300];
        memset(output, 'x', sizeof output);
        EXPECT_EQ(output, JoinPath(directory.c_str(), name.c_str(), output, c.size));
        EXPECT_EQ(c.fits ? directory + "\\" + name : std::string(), std::string(output))
            << c.directoryLength << "+" << c.nameLength;
        EXPECT_EQ('x', output[c.size]);
    }
}
