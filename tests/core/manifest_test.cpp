// The manifest list: how a file's text becomes stored lines, and the section/key lookup.
#include "transfer/manifest.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> StoredLines(const ManifestList& list) {
    std::vector<std::string> lines;
    for (const ManifestLine* line = list.First(); line != nullptr; line = line->next)
        lines.push_back(line->text);
    return lines;
}

const char kManifest[] =
    "[files]\r\n"
    "file000.bin=1048576\r\n"
    "file001.bin=12\r\n"
    "\r\n"
    "[sums]\r\n"
    "file000.bin=-645128748\r\n"
    "file001.bin=2104060921\r\n"
    "total_sum=4294967295\r\n";

}  // namespace

TEST(Manifest, LookupRules) {
    const char text[] =
        "orphan=5\n"
        "[other]\n"
        "key=1\n"
        " \t[files]\n"
        "file000.bin = 4096\n"
        "file001.bin==4096\n"
        "file002.bin=\n"
        "file003.bin=12ab\n"
        "FILE004.BIN=1\n"
        "file004.bin\t=\t-77\n"
        "file005.bin 9\n"
        "file006.bin=TRUE\n"
        "file007.bin=FALSE\n"
        "file008.bin=Tx\n"
        "file009.bin=true\n"
        "file010.bin=-\n"
        "file011.bin=+5\n"
        "file012.bin=4294967295\n"
        "file013.bin=4294967296\n"
        "file014.bin=-2147483648\n"
        "file015.bin=2147483648\n"
        "dup=1\n"
        "dup=2\n"
        "  indented=3\n"
        "this is text, not an entry\n"
        "[sums\n"
        "lost=1\n"
        "[sums]\n"
        "total_sum=-123\n"
        "[sums]\n"
        "second=1\n"
        "[empty]\n"
        "[]\n"
        "=9\n"
        "[files]\n"
        "file016.bin=1\n";
    struct Case {
        const char* section;
        const char* key;
        bool found;
        int32_t value;
    };
    const Case cases[] = {
        {"files", "orphan", false, 0},  // before any header: no section
        {"other", "key", true, 1},
        {"files", "key", false, 0},  // another section's key
        {"files", "file000.bin", true, 4096},
        {"files", "file001.bin", true, 4096},
        {"files", "file002.bin", true, 0},    // no digits
        {"files", "file003.bin", true, 12},   // digits up to the first non-digit
        {"files", "file004.bin", true, -77},  // keys compare case-sensitively
        {"files", "FILE004.BIN", true, 1},
        {"files", "File004.bin", false, 0},
        {"files", "file005.bin", true, 0},  // matching key, no "="
        {"files", "file006.bin", true, 1},
        {"files", "file007.bin", true, 0},
        {"files", "file008.bin", true, 1},
        {"files", "file009.bin", true, 0},  // only capital T and F
        {"files", "file010.bin", true, 0},
        {"files", "file011.bin", true, 0},
        {"files", "file012.bin", true, -1},  // 32-bit wrap-around
        {"files", "file013.bin", true, 0},
        {"files", "file014.bin", true, INT32_MIN},
        {"files", "file015.bin", true, INT32_MIN},
        {"files", "dup", true, 1},  // the first entry wins
        {"files", "indented", true, 3},
        {"files", "this", true, 0},
        {"files", "file016.bin", false, 0},  // a later section of the same name is not searched
        {"files", "file0", false, 0},        // whole keys only
        {"files", "lost", false, 0},         // "[sums" ends the section, and is no "sums"
        {"sums", "lost", false, 0},
        {"sums", "total_sum", true, -123},
        {"sums", "second", false, 0},
        {"sum", "total_sum", false, 0},
        {"Sums", "total_sum", false, 0},
        {"empty", "file000.bin", false, 0},
        {"", "", true, 9},
        {"missing", "file000.bin", false, 0},
    };
    ManifestList list;
    ASSERT_TRUE(list.LoadText(text, strlen(text)));
    for (const Case& c : cases) {
        int32_t value = 4242;
        ASSERT_EQ(c.found, list.GetValue(c.section, c.key, &value)) << c.section << "/" << c.key;
        EXPECT_EQ(c.found ? c.value : 4242, value) << c.section << "/" << c.key;
    }
}

TEST(Manifest, SplitsTextAsATextModeLineReader) {
    const std::string x398(398, 'x');
    const std::string line1000(1000, 'y');
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a\r\nb\n", {"a\n", "b\n"}},
        {"total_sum=-123", {"total_sum=-123\n"}},  // a line end is appended where missing
        {"a\r\r\nb\rc", {"a\r\n", "b\rc\n"}},      // only CR LF pairs become LF
        {"\n\n", {"\n", "\n"}},
        {x398 + "\n", {x398 + "\n", "\n"}},
        {x398 + "\r\nz", {x398 + "\n", "\n", "z\n"}},
        {line1000 + "\n",
         {std::string(398, 'y') + "\n", std::string(398, 'y') + "\n",
          std::string(204, 'y') + "\n"}},
        {"a=1\nb=2\x1A"
         "c=3\n",
         {"a=1\n", "b=2\n"}},                                       // Ctrl-Z ends the text
        {std::string("a=1\0junk\nb=2\n", 13), {"a=1\n", "b=2\n"}},  // a NUL ends its piece
    };
    for (const Case& c : cases) {
        ManifestList list;
        ASSERT_TRUE(list.LoadText(c.text.data(), c.text.size()));
        EXPECT_EQ(c.lines, StoredLines(list)) << c.text;
        const ManifestLine* previous = nullptr;
        for (const ManifestLine* line = list.First(); line != nullptr; line = line->next) {
            EXPECT_EQ(previous, line->prev);
            EXPECT_LE(strlen(line->text), kManifestLineLength);
            previous = line;
        }
    }
}

TEST(Manifest, AKeyAfterALongLineStartsAPieceOfItsOwn) {
    const std::string text = "[sums]\n" + std::string(398, '#') + "total_sum=7\n";
    ManifestList list;
    ASSERT_TRUE(list.LoadText(text.data(), text.size()));
    int32_t value = 0;
    EXPECT_TRUE(list.GetValue("sums", "total_sum", &value));
    EXPECT_EQ(7, value);
}

TEST(Manifest, EmptyAndClearedListsFindNothing) {
    ManifestList list;
    int32_t value = 5;
    EXPECT_FALSE(list.GetValue("files", "file000.bin", &value));
    ASSERT_TRUE(list.LoadText(kManifest, strlen(kManifest)));
    EXPECT_TRUE(list.GetValue("files", "file000.bin", &value));
    list.Clear();
    EXPECT_EQ(nullptr, list.First());
    EXPECT_FALSE(list.GetValue("files", "file000.bin", &value));
    EXPECT_EQ(1048576, value);
    // A second load replaces the lines of the first.
    ASSERT_TRUE(list.LoadText("[files]\nfile000.bin=3\n", 22));
    EXPECT_TRUE(list.GetValue("files", "file000.bin", &value));
    EXPECT_EQ(3, value);
    EXPECT_FALSE(list.GetValue("sums", "total_sum", &value));
}

// Every prefix of a valid manifest loads; each entry whose line is complete in the prefix
// has its full value, every other lookup finds nothing or a prefix of the digits.
TEST(Manifest, EveryPrefixOfAManifestLoads) {
    struct Entry {
        const char* section;
        const char* key;
        int32_t value;
    };
    const Entry entries[] = {
        {"files", "file000.bin", 1048576},   {"files", "file001.bin", 12},
        {"sums", "file000.bin", -645128748}, {"sums", "file001.bin", 2104060921},
        {"sums", "total_sum", -1},
    };
    const size_t length = strlen(kManifest);
    for (size_t prefix = 0; prefix <= length; ++prefix) {
        ManifestList list;
        ASSERT_TRUE(list.LoadText(kManifest, prefix));
        const std::string text(kManifest, prefix);
        for (const Entry& e : entries) {
            int32_t value = 0;
            bool found = list.GetValue(e.section, e.key, &value);
            std::string header = std::string("[") + e.section + "]\r\n";
            size_t section = text.find(header);
            size_t line = section == std::string::npos
                              ? std::string::npos
                              : text.find(std::string(e.key) + "=", section);
            bool complete =
                line != std::string::npos && text.find("\r\n", line) != std::string::npos;
            if (complete) {
                ASSERT_TRUE(found) << prefix << " " << e.key;
                EXPECT_EQ(e.value, value) << prefix << " " << e.key;
            } else if (line == std::string::npos) {
                EXPECT_FALSE(found) << prefix << " " << e.key;
            }
        }
    }
}

TEST(Manifest, PartNames) {
    char name[kPartNameSize];
    FormatPartName(0, name);
    EXPECT_STREQ("file000.bin", name);
    FormatPartName(42, name);
    EXPECT_STREQ("file042.bin", name);
    FormatPartName(1000, name);
    EXPECT_STREQ("file1000.bin", name);
    FormatPartName(4294967295u, name);
    EXPECT_STREQ("file4294967295.bin", name);
}

// What the lookups report where a manifest has gaps: each missing entry is reported as
// missing, and its neighbours are still found.
TEST(Manifest, GapsAreReportedAsMissingEntries) {
    struct Case {
        const char* name;
        const char* text;
        const char* section;
        const char* key;
        bool found;
    };
    const Case cases[] = {
        {"missing part number", "[files]\nfile000.bin=5\nfile002.bin=5\n[sums]\n", "files",
         "file001.bin", false},
        {"missing part number", "[files]\nfile000.bin=5\nfile002.bin=5\n[sums]\n", "files",
         "file002.bin", true},
        {"missing sum", "[files]\nfile000.bin=5\nfile001.bin=5\n[sums]\nfile000.bin=7\n", "sums",
         "file001.bin", false},
        {"missing sum, found under files", "[files]\nfile001.bin=5\n[sums]\nfile000.bin=7\n",
         "files", "file001.bin", true},
        {"missing total_sum", "[files]\nfile000.bin=5\n[sums]\nfile000.bin=7\n", "sums",
         "total_sum", false},
        {"total_sum outside [sums]", "[files]\ntotal_sum=1\n[sums]\nfile000.bin=7\n", "sums",
         "total_sum", false},
        {"no [sums] at all", "[files]\nfile000.bin=5\n", "sums", "file000.bin", false},
    };
    for (const Case& c : cases) {
        ManifestList list;
        ASSERT_TRUE(list.LoadText(c.text, strlen(c.text)));
        int32_t value = 4242;
        EXPECT_EQ(c.found, list.GetValue(c.section, c.key, &value)) << c.name;
        if (!c.found) {
            EXPECT_EQ(4242, value) << c.name;
        }
    }
}

// The sizes a package may list, summed without wrapping: at most kMaxPackageSize in all.
TEST(Manifest, PackageSizesHoldToTheLargestPackage) {
    struct Case {
        const char* files;
        PackageSizeCheck check;
        int64_t total;
        int32_t partSize;
    };
    const Case cases[] = {
        {"", PackageFits, 0, 0},
        {"file000.bin=0\nfile001.bin=5\nfile002.bin=3\n", PackageFits, 8, 5},
        {"file000.bin=2147483647\n", PackageFits, kMaxPackageSize, 2147483647},
        {"file000.bin=1073741824\nfile001.bin=1073741823\n", PackageFits, kMaxPackageSize,
         1073741824},
        // Cut to 32 bits, these once gave a negative total and an empty one.
        {"file000.bin=1073741824\nfile001.bin=1073741824\n", PackageTooLarge, 2147483648LL,
         1073741824},
        {"file000.bin=2147483647\nfile001.bin=2147483647\nfile002.bin=2\n", PackageTooLarge,
         4294967294LL, 2147483647},
        {"file000.bin=5\nfile001.bin=-1\nfile002.bin=5\n", PackagePartNegative, 5, 5},
        // The list ends at the first number missing.
        {"file000.bin=5\nfile002.bin=2147483647\n", PackageFits, 5, 5},
    };
    for (const Case& c : cases) {
        std::string text = std::string("[files]\n") + c.files;
        ManifestList list;
        ASSERT_TRUE(list.LoadText(text.data(), text.size()));
        PackageSize size;
        EXPECT_EQ(c.check, MeasurePackage(list, &size)) << c.files;
        EXPECT_EQ(c.total, size.total) << c.files;
        EXPECT_EQ(c.partSize, size.partSize) << c.files;
    }
}

// A manifest of 1 MiB holding tens of thousands of entries, looked up part by part as the
// fetch worker does: every result right, and each lookup compares a few dozen index
// entries, not the whole list (which made such a manifest cost seconds of CPU).
TEST(Manifest, LookupsOfALargeManifestStayCheap) {
    const unsigned parts = 20000;
    std::string text = "[files]\n";
    char name[kPartNameSize];
    for (unsigned i = 0; i < parts; ++i) {
        FormatPartName(i, name);
        text += std::string(name) + "=" + std::to_string(i + 1) + "\n";
    }
    text += "[sums]\n";
    for (unsigned i = 0; i < parts; ++i) {
        FormatPartName(i, name);
        text += std::string(name) + "=-" + std::to_string(i) + "\n";
    }
    text += "total_sum=77\n";
    // Filler up to 1 MiB: lines that are neither headers nor wanted keys.
    while (text.size() + 16 < kMaxManifestFileSize) text += "# filler line\n";
    ManifestList list;
    ASSERT_TRUE(list.LoadText(text.data(), text.size()));

    size_t lookups = 0;
    for (unsigned i = 0; i < parts; ++i) {
        FormatPartName(i, name);
        int32_t size = 0, sum = 1;
        ASSERT_TRUE(list.GetValue(kFilesSection, name, &size)) << name;
        ASSERT_TRUE(list.GetValue(kSumsSection, name, &sum)) << name;
        EXPECT_EQ(static_cast<int32_t>(i + 1), size);
        EXPECT_EQ(-static_cast<int32_t>(i), sum);
        lookups += 2;
    }
    int32_t total = 0;
    ASSERT_TRUE(list.GetValue(kSumsSection, kTotalSumKey, &total));
    EXPECT_EQ(77, total);
    FormatPartName(parts, name);
    EXPECT_FALSE(list.GetValue(kFilesSection, name, &total));
    lookups += 2;
    EXPECT_LT(list.Comparisons(), lookups * 64) << "lookups walk the list";
}

TEST(Manifest, TextValuesOfASignedManifest) {
    const char text[] =
        "[files]\r\nfile000.bin=3\r\n"
        "[sha256]\r\n"
        "file000.bin = ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad \r\n"
        "total=\r\n"
        "empty\r\n"
        "[sha256]\r\nlater=1\r\n";
    ManifestList list;
    ASSERT_TRUE(list.LoadText(text, sizeof text - 1));
    char value[65];
    ASSERT_TRUE(list.GetText(kSha256Section, "file000.bin", value, sizeof value));
    EXPECT_STREQ(value, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(list.GetText(kSha256Section, kSha256TotalKey, value, sizeof value));
    EXPECT_STREQ(value, "");
    // Found as the integer lookups find keys: only the first section of a name counts.
    EXPECT_FALSE(list.GetText(kSha256Section, "later", value, sizeof value));
    EXPECT_FALSE(list.GetText(kSha256Section, "empty", value, sizeof value)) << "no '='";
    char small[64];
    EXPECT_FALSE(list.GetText(kSha256Section, "file000.bin", small, sizeof small));
    EXPECT_STREQ(small, "") << "a value that does not fit is refused, not cut";
}
