// Digest texts: the manifest's hex values and a description's pin lists.
#include "transfer/sha256_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// SHA-256 of "abc".
const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

}  // namespace

TEST(Sha256Text, HexValues) {
    Sha256Digest digest = {};
    ASSERT_TRUE(ParseSha256Hex(kAbc, digest));
    EXPECT_EQ(digest.bytes[0], 0xBA);
    EXPECT_EQ(digest.bytes[31], 0xAD);
    char text[kSha256HexLength + 1];
    FormatSha256Hex(digest, text);
    EXPECT_STREQ(text, kAbc);

    std::string upper = kAbc;
    for (char& c : upper) c = static_cast<char>(toupper(c));
    Sha256Digest again = {};
    EXPECT_TRUE(ParseSha256Hex((" " + upper + " \r\n").c_str(), again));
    EXPECT_TRUE(SameDigest(digest, again));

    const std::string refused[] = {
        "",
        std::string(kAbc).substr(1),
        std::string(kAbc) + "0",
        std::string(kAbc).substr(0, 63) + "g",
        std::string(kAbc) + " x",
        "0x" + std::string(kAbc).substr(2),
    };
    for (const std::string& text : refused) {
        Sha256Digest untouched = digest;
        EXPECT_FALSE(ParseSha256Hex(text.c_str(), untouched)) << text;
        EXPECT_TRUE(SameDigest(untouched, digest));
    }
}

TEST(Sha256Text, PinLists) {
    const std::string two = std::string(kAbc) + ", " + std::string(64, 'F');
    struct Case {
        std::string list;
        size_t count;
        bool firstParses;
    } cases[] = {
        {"", 0, false},
        {" , ", 0, false},
        {kAbc, 1, true},
        {two, 2, true},
        {std::string(kAbc) + ",,  ,short", 2, true},
        {"short," + std::string(kAbc), 2, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CountPinnedDigests(c.list.c_str()), c.count) << c.list;
        Sha256Digest digest;
        EXPECT_EQ(PinnedDigest(c.list.c_str(), 0, digest), c.firstParses) << c.list;
    }
    Sha256Digest second;
    ASSERT_TRUE(PinnedDigest(two.c_str(), 1, second));
    EXPECT_EQ(second.bytes[0], 0xFF);
    EXPECT_FALSE(PinnedDigest(two.c_str(), 2, second));
    EXPECT_FALSE(PinnedDigest((std::string(kAbc) + ",short").c_str(), 1, second));
}
