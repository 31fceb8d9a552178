// Zip archive reading from byte buffers: hand-made archives with one field damaged at a
// time, entry names, path limits, every cut and every changed byte of a valid archive,
// and the good archives Info-ZIP zip made for the library's tests, read and inflated here.
#include "extension/zip_archive.h"

#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    Put16(b, at, static_cast<uint16_t>(v));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
void Add16(Bytes& b, uint16_t v) {
    b.resize(b.size() + 2);
    Put16(b, b.size() - 2, v);
}
void Add32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    Put32(b, b.size() - 4, v);
}
void AddText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

std::string RawDeflate(const std::string& text) {
    z_stream s = {};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, text.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    s.avail_in = static_cast<uInt>(text.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

bool RawInflate(const unsigned char* data, size_t size, size_t expected, std::string* out) {
    out->assign(expected, '\0');
    z_stream s = {};
    inflateInit2(&s, -MAX_WBITS);
    s.next_in = const_cast<Bytef*>(data);
    s.avail_in = static_cast<uInt>(size);
    s.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
    s.avail_out = static_cast<uInt>(expected);
    int status = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    return status == Z_STREAM_END && s.total_out == expected;
}

struct EntryPlan {
    std::string name;
    std::string content;
    uint16_t method;
    bool descriptor;  // sizes and CRC after the data, zeros in the local header
};
EntryPlan Stored(const std::string& name, const std::string& content) {
    return {name, content, kZipStored, false};
}
EntryPlan Deflated(const std::string& name, const std::string& content) {
    return {name, content, kZipDeflated, false};
}
EntryPlan Streamed(const std::string& name, const std::string& content) {
    return {name, content, kZipDeflated, true};
}

struct Archive {
    Bytes bytes;
    std::vector<size_t> local;    // local headers
    std::vector<size_t> central;  // central records
    size_t end;                   // end record
};

Archive Build(const std::vector<EntryPlan>& plans, const std::string& comment = "") {
    Archive a;
    std::vector<uint32_t> crcs;
    std::vector<std::string> stored;
    for (const EntryPlan& s : plans) {
        stored.push_back(s.method == kZipDeflated ? RawDeflate(s.content) : s.content);
        crcs.push_back(crc32(0, reinterpret_cast<const Bytef*>(s.content.data()),
                             static_cast<uInt>(s.content.size())));
        a.local.push_back(a.bytes.size());
        uint16_t flags = s.descriptor ? kZipFlagDataDescriptor : 0;
        Add32(a.bytes, 0x04034b50);
        Add16(a.bytes, 20);
        Add16(a.bytes, flags);
        Add16(a.bytes, s.method);
        Add16(a.bytes, 0);
        Add16(a.bytes, 0x21);
        Add32(a.bytes, s.descriptor ? 0 : crcs.back());
        Add32(a.bytes, s.descriptor ? 0 : static_cast<uint32_t>(stored.back().size()));
        Add32(a.bytes, s.descriptor ? 0 : static_cast<uint32_t>(s.content.size()));
        Add16(a.bytes, static_cast<uint16_t>(s.name.size()));
        Add16(a.bytes, 0);
        AddText(a.bytes, s.name);
        AddText(a.bytes, stored.back());
        if (s.descriptor) {
            Add32(a.bytes, 0x08074b50);
            Add32(a.bytes, crcs.back());
            Add32(a.bytes, static_cast<uint32_t>(stored.back().size()));
            Add32(a.bytes, static_cast<uint32_t>(s.content.size()));
        }
    }
    size_t directory = a.bytes.size();
    for (size_t i = 0; i < plans.size(); ++i) {
        const EntryPlan& s = plans[i];
        a.central.push_back(a.bytes.size());
        Add32(a.bytes, 0x02014b50);
        Add16(a.bytes, 20);
        Add16(a.bytes, 20);
        Add16(a.bytes, s.descriptor ? kZipFlagDataDescriptor : 0);
        Add16(a.bytes, s.method);
        Add16(a.bytes, 0);
        Add16(a.bytes, 0x21);
        Add32(a.bytes, crcs[i]);
        Add32(a.bytes, static_cast<uint32_t>(stored[i].size()));
        Add32(a.bytes, static_cast<uint32_t>(s.content.size()));
        Add16(a.bytes, static_cast<uint16_t>(s.name.size()));
        for (int k = 0; k < 4; ++k) Add16(a.bytes, 0);  // extra, comment, disk, internal
        Add32(a.bytes, 0);
        Add32(a.bytes, static_cast<uint32_t>(a.local[i]));
        AddText(a.bytes, s.name);
    }
    a.end = a.bytes.size();
    Add32(a.bytes, 0x06054b50);
    Add16(a.bytes, 0);
    Add16(a.bytes, 0);
    Add16(a.bytes, static_cast<uint16_t>(plans.size()));
    Add16(a.bytes, static_cast<uint16_t>(plans.size()));
    Add32(a.bytes, static_cast<uint32_t>(a.end - directory));
    Add32(a.bytes, static_cast<uint32_t>(directory));
    Add16(a.bytes, static_cast<uint16_t>(comment.size()));
    AddText(a.bytes, comment);
    return a;
}

// Checks a copy of exactly the bytes given, so that AddressSanitizer sees any read past them.
ZipResult Check(const Bytes& bytes, size_t destinationLength = 10) {
    Bytes copy(bytes);
    ZipDirectory directory;
    ZipResult result = FindZipDirectory(copy.data(), copy.size(), &directory);
    if (result != ZipOk) return result;
    std::vector<ZipSpan> spans(directory.entryCount + 1);
    return CheckZipArchive(copy.data(), copy.size(), directory, destinationLength, spans.data(),
                           spans.size());
}

const std::vector<EntryPlan> kTwo = {Stored("a.txt", "alpha"),
                                     Deflated("b/c.txt", "beta beta beta")};

TEST(ZipArchive, DamagedFieldsAreRefused) {
    struct Case {
        const char* what;
        std::vector<EntryPlan> plans;
        std::function<void(Archive&)> change;
        ZipResult expected;
    };
    auto none = [](Archive&) {};
    std::vector<Case> cases = {
        {"valid", kTwo, none, ZipOk},
        {"data descriptors", {Streamed("s.txt", "streamed text"), Streamed("e", "")}, none, ZipOk},
        {"folder", {Stored("d/", ""), Stored("d/f", "x")}, none, ZipOk},
        {"no entries", {}, none, ZipOk},
        {"encrypted", kTwo, [](Archive& a) { Put16(a.bytes, a.central[1] + 8, 1); }, ZipEncrypted},
        {"encrypted local", kTwo, [](Archive& a) { Put16(a.bytes, a.local[0] + 6, 1); },
         ZipEncrypted},
        {"method 12", kTwo,
         [](Archive& a) {
             Put16(a.bytes, a.central[1] + 10, 12);
             Put16(a.bytes, a.local[1] + 8, 12);
         },
         ZipBadMethod},
        {"zip64 size", kTwo, [](Archive& a) { Put32(a.bytes, a.central[1] + 24, 0xFFFFFFFF); },
         ZipZip64},
        {"zip64 count", kTwo,
         [](Archive& a) {
             Put16(a.bytes, a.end + 8, 0xFFFF);
             Put16(a.bytes, a.end + 10, 0xFFFF);
         },
         ZipZip64},
        {"zip64 locator", kTwo, [](Archive& a) { Put32(a.bytes, a.end - 20, 0x07064b50); },
         ZipZip64},
        {"second disk", kTwo, [](Archive& a) { Put16(a.bytes, a.end + 4, 1); }, ZipMultiDisk},
        {"entry on disk 1", kTwo, [](Archive& a) { Put16(a.bytes, a.central[1] + 34, 1); },
         ZipMultiDisk},
        {"directory moved", kTwo,
         [](Archive& a) { Put32(a.bytes, a.end + 16, static_cast<uint32_t>(a.central[0] + 1)); },
         ZipBadDirectory},
        {"one entry too many", kTwo,
         [](Archive& a) {
             Put16(a.bytes, a.end + 8, 3);
             Put16(a.bytes, a.end + 10, 3);
         },
         ZipBadEntry},
        {"one entry too few", kTwo,
         [](Archive& a) {
             Put16(a.bytes, a.end + 8, 1);
             Put16(a.bytes, a.end + 10, 1);
         },
         ZipBadDirectory},
        {"central signature", kTwo, [](Archive& a) { a.bytes[a.central[1]] = 'Q'; }, ZipBadEntry},
        {"name past directory", kTwo, [](Archive& a) { Put16(a.bytes, a.central[1] + 28, 90); },
         ZipBadEntry},
        {"stored sizes differ", kTwo,
         [](Archive& a) {
             Put32(a.bytes, a.central[0] + 24, 4);
             Put32(a.bytes, a.local[0] + 22, 4);
         },
         ZipBadSize},
        {"folder with data", {Stored("d/", "xyz")}, none, ZipBadSize},
        {"local signature", kTwo, [](Archive& a) { a.bytes[a.local[1]] = 'Q'; }, ZipBadLocalHeader},
        {"local method", kTwo, [](Archive& a) { Put16(a.bytes, a.local[1] + 8, 0); },
         ZipBadLocalHeader},
        {"local crc", kTwo, [](Archive& a) { a.bytes[a.local[0] + 14] ^= 1; }, ZipBadLocalHeader},
        {"local size", kTwo, [](Archive& a) { Put32(a.bytes, a.local[1] + 22, 3); },
         ZipBadLocalHeader},
        {"local size with descriptor",
         {Streamed("s.txt", "streamed")},
         [](Archive& a) { Put32(a.bytes, a.local[0] + 22, 3); },
         ZipBadLocalHeader},
        {"local zip64 markers with descriptor",
         {Streamed("s.txt", "streamed")},
         [](Archive& a) {
             Put32(a.bytes, a.local[0] + 18, 0xFFFFFFFF);
             Put32(a.bytes, a.local[0] + 22, 0xFFFFFFFF);
         },
         ZipOk},
        {"local name", kTwo, [](Archive& a) { a.bytes[a.local[1] + 30] = 'x'; }, ZipBadLocalHeader},
        {"local header in directory", kTwo,
         [](Archive& a) { Put32(a.bytes, a.central[1] + 42, static_cast<uint32_t>(a.central[0])); },
         ZipBadLocalHeader},
        {"same local header twice",
         {Stored("a", "1"), Stored("a", "1")},
         [](Archive& a) { Put32(a.bytes, a.central[1] + 42, 0); },
         ZipOverlap},
        {"data into directory", kTwo,
         [](Archive& a) {
             Put32(a.bytes, a.central[1] + 20, 100);
             Put32(a.bytes, a.local[1] + 18, 100);
         },
         ZipOverlap},
        {"bad name behind good entries",
         {Stored("a", "1"), Stored("b", "2"), Stored("../c", "3")},
         none,
         ZipBadName},
    };
    for (Case& c : cases) {
        Archive a = Build(c.plans);
        c.change(a);
        EXPECT_EQ(c.expected, Check(a.bytes)) << c.what << ": " << ZipResultText(Check(a.bytes));
    }
}

TEST(ZipArchive, EndRecordIsTheOneReachingTheEnd) {
    EXPECT_EQ(ZipOk, Check(Build(kTwo, "a comment").bytes));
    EXPECT_EQ(ZipOk, Check(Build(kTwo, std::string(65535, 'c')).bytes));
    Archive extra = Build(kTwo, "comment");
    extra.bytes.push_back('!');
    EXPECT_EQ(ZipNoEndRecord, Check(extra.bytes));
    EXPECT_EQ(ZipNoEndRecord, Check(Bytes()));
    EXPECT_EQ(ZipNoEndRecord, Check(Bytes(100, 0)));
}

TEST(ZipArchive, EntryPathsUseBackslashes) {
    Archive a = Build({Stored("dir/", ""), Deflated("dir/sub/x.txt", "text")});
    ZipDirectory directory;
    ASSERT_EQ(ZipOk, FindZipDirectory(a.bytes.data(), a.bytes.size(), &directory));
    uint32_t cursor = directory.offset;
    ZipEntry folder, file;
    ASSERT_EQ(ZipOk, ReadZipEntry(a.bytes.data(), a.bytes.size(), directory, &cursor, &folder));
    ASSERT_EQ(ZipOk, ReadZipEntry(a.bytes.data(), a.bytes.size(), directory, &cursor, &file));
    char path[kZipMaxPath];
    ASSERT_TRUE(ZipEntryPath(file, path, sizeof path));
    EXPECT_STREQ("dir\\sub\\x.txt", path);
    ASSERT_TRUE(folder.isFolder);
    ASSERT_TRUE(ZipEntryPath(folder, path, sizeof path));
    EXPECT_STREQ("dir", path);
    EXPECT_FALSE(ZipEntryPath(file, path, 13));  // 13 characters need 14 bytes
    EXPECT_STREQ("", path);
}

TEST(ZipArchive, NamesStayInsideTheDestination) {
    const char* good[] = {"a.txt", "a/b/c.txt",   "a\\b.txt",  "dir/", "dir\\", ".hidden",
                          "a..b",  "console.txt", "com10.txt", "lpt",  "-",     "x y/z"};
    for (const char* name : good) EXPECT_EQ(ZipOk, CheckZipEntryName(name, strlen(name))) << name;
    const char* bad[] = {"",
                         "/x",
                         "\\x",
                         "//server/share",
                         "C:x",
                         "c:\\x",
                         "..",
                         "../x",
                         "a/../b",
                         "a\\..\\b",
                         "a/..",
                         ".",
                         "./a",
                         "a//b",
                         "a//",
                         "/",
                         "a ",
                         "a.",
                         "dir./x",
                         "CON",
                         "con.txt",
                         "Nul",
                         "aux.tar.gz",
                         "COM1",
                         "lpt9.log",
                         "d/prn",
                         "CON .txt",
                         "CONIN$",
                         "a<b",
                         "a>b",
                         "a|b",
                         "a?b",
                         "a*b",
                         "a\"b",
                         "a:b",
                         "tab\t",
                         "\xc3\xa9t\xc3\xa9",
                         "del\x7f"};
    for (const char* name : bad)
        EXPECT_EQ(ZipBadName, CheckZipEntryName(name, strlen(name))) << name;
    EXPECT_EQ(ZipBadName, CheckZipEntryName("a\0b", 3));
}

TEST(ZipArchive, PathsMustFitWithTheDestination) {
    struct Case {
        size_t destination;
        std::string name;
        ZipResult expected;
    };
    const std::string d45(45, 'd'), d46(46, 'd');
    const Case cases[] = {
        {246, "f", ZipOk},                   // the folder is the destination: 246
        {247, "f", ZipPathTooLong},          // no room for a temporary name
        {200, std::string(58, 'a'), ZipOk},  // 200 + 1 + 58 = 259 characters
        {200, std::string(59, 'a'), ZipPathTooLong},
        {200, d45 + "/f", ZipOk},  // its folder: 200 + 1 + 45 = 246
        {200, d46 + "/f", ZipPathTooLong},
        {200, d45 + "/", ZipOk},  // a folder: same limit
        {200, d46 + "/", ZipPathTooLong},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Check(Build({Stored(c.name, c.name.back() == '/' ? "" : "x")}).bytes,
                                    c.destination))
            << c.destination << " " << c.name;
}

// Every cut of a valid archive is refused, and no changed byte makes a read stray.
TEST(ZipArchive, CutsAndChangedBytesNeverReadOutside) {
    Archive a = Build(
        {Stored("d/", ""), Deflated("d/x.txt", "some text, some text"), Streamed("s", "streamed")},
        "note");
    for (size_t size = 0; size < a.bytes.size(); ++size)
        EXPECT_NE(ZipOk, Check(Bytes(a.bytes.begin(), a.bytes.begin() + size))) << size;
    for (size_t at = 0; at < a.bytes.size(); ++at) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Bytes changed = a.bytes;
            changed[at] ^= mask;
            Check(changed);
        }
    }
}

// The sums CheckZipArchive hands over are the declared sizes of every entry, folders
// counting nothing, and the decision on them bounds the ratio above a floor and the total
// by the free space.
TEST(ZipArchive, TotalsAddTheDeclaredSizes) {
    std::string text(5000, 'z');
    Archive a = Build({Stored("d/", ""), Stored("a.txt", "alpha"), Deflated("d/b.txt", text)});
    ZipDirectory directory;
    ASSERT_EQ(ZipOk, FindZipDirectory(a.bytes.data(), a.bytes.size(), &directory));
    std::vector<ZipSpan> spans(directory.entryCount);
    ZipTotals totals = {7, 7};
    ASSERT_EQ(ZipOk, CheckZipArchive(a.bytes.data(), a.bytes.size(), directory, 10, spans.data(),
                                     spans.size(), &totals));
    EXPECT_EQ(5u + 5000u, totals.uncompressed);
    EXPECT_EQ(5u + RawDeflate(text).size(), totals.compressed);
}

TEST(ZipArchive, BombsAndArchivesBeyondTheFreeSpaceAreRefused) {
    const uint64_t floor = kZipRatioFloor;
    const uint64_t lots = uint64_t(1) << 40;
    struct Case {
        uint64_t compressed, uncompressed, freeBytes;
        ZipResult expected;
    };
    const Case cases[] = {
        {0, 0, 0, ZipOk},        // only folders or empty files
        {100, 100, 100, ZipOk},  // exactly the free space
        {100, 101, 100, ZipNoRoom},
        {1, floor, lots, ZipOk},  // any ratio up to the floor
        {1, floor + 1, lots, ZipAbsurdRatio},
        {0, floor + 1, lots, ZipAbsurdRatio},        // sizes declared without any data
        {floor, kZipMaxRatio * floor, lots, ZipOk},  // zeros deflate to about this
        {floor, kZipMaxRatio * floor + 1, lots, ZipAbsurdRatio},
        {65535ull * 0xFFFFFFFFull, 65535ull * 0xFFFFFFFFull, lots, ZipNoRoom},  // largest sums
        {1, 0xFFFFFFFFull * 65535, 0xFFFFFFFFFFFFFFFFull, ZipAbsurdRatio},      // the ratio first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.compressed) + " -> " + std::to_string(c.uncompressed));
        EXPECT_EQ(c.expected, CheckZipTotals(ZipTotals{c.compressed, c.uncompressed}, c.freeBytes));
    }
    EXPECT_STRNE("?", ZipResultText(ZipAbsurdRatio));
    EXPECT_STRNE("?", ZipResultText(ZipNoRoom));
}

// The archives tests/extension/make-archives made with Info-ZIP zip.
Bytes ReadArchive(const std::string& name) {
    std::ifstream in(std::string(EXTENSION_ARCHIVES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadExpected(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ZipArchive, ArchivesMadeByZipReadBackToTheirTrees) {
    for (const char* name : {"tree", "big", "stored", "piped", "stdin"}) {
        SCOPED_TRACE(name);
        Bytes bytes = ReadArchive(std::string(name) + ".zip");
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(ZipOk, Check(bytes));
        std::filesystem::path root = std::filesystem::path(EXTENSION_ARCHIVES) / "expected" / name;
        std::set<std::string> expected, found;
        for (const auto& item : std::filesystem::recursive_directory_iterator(root))
            expected.insert(item.path().lexically_relative(root).generic_string());

        ZipDirectory directory;
        FindZipDirectory(bytes.data(), bytes.size(), &directory);
        uint32_t cursor = directory.offset;
        bool descriptors = false;
        for (uint32_t i = 0; i < directory.entryCount; ++i) {
            ZipEntry entry;
            ASSERT_EQ(ZipOk, ReadZipEntry(bytes.data(), bytes.size(), directory, &cursor, &entry));
            std::string path(entry.name, entry.nameLength - (entry.isFolder ? 1 : 0));
            if (path == ".") continue;
            found.insert(path);
            descriptors |= (entry.flags & kZipFlagDataDescriptor) != 0;
            if (entry.isFolder) continue;
            std::string content;
            if (entry.method == kZipStored)
                content.assign(reinterpret_cast<const char*>(bytes.data() + entry.dataOffset),
                               entry.compressedSize);
            else
                ASSERT_TRUE(RawInflate(bytes.data() + entry.dataOffset, entry.compressedSize,
                                       entry.uncompressedSize, &content))
                    << path;
            EXPECT_EQ(ReadExpected(root / path), content) << path;
            EXPECT_EQ(entry.crc, crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                       static_cast<uInt>(content.size())));
        }
        EXPECT_EQ(expected, found);
        // The pipe archives really carry their sizes behind the data.
        bool piped = std::string(name) == "piped" || std::string(name) == "stdin";
        EXPECT_EQ(piped, descriptors);
    }
}

}  // namespace
