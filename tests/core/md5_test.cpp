// MD5 against the RFC 1321 test suite, incremental updates against one-shot digests, and the
// package checksum taken from a digest.
#include "transfer/md5.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

namespace {

void ToHex(const unsigned char digest[kMd5DigestSize], char (&hex)[2 * kMd5DigestSize + 1]) {
    for (size_t i = 0; i < kMd5DigestSize; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
}

// A pattern with every byte value and no period of a block's length.
void FillPattern(unsigned char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 251);
}

}  // namespace

TEST(Md5, MatchesTheRfcTestSuite) {
    struct Case {
        const char* text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        unsigned char digest[kMd5DigestSize];
        ComputeMd5(c.text, strlen(c.text), digest);
        char hex[2 * kMd5DigestSize + 1];
        ToHex(digest, hex);
        EXPECT_STREQ(c.digest, hex) << '"' << c.text << '"';
    }
}

TEST(Md5, AMillionTimesA) {
    static unsigned char data[1000000];
    memset(data, 'a', sizeof data);
    unsigned char digest[kMd5DigestSize];
    ComputeMd5(data, sizeof data, digest);
    char hex[2 * kMd5DigestSize + 1];
    ToHex(digest, hex);
    EXPECT_STREQ("7707d6ae4e027c70eea2a935c2296f21", hex);
}

// Lengths around the padding limits (55, 56, 63, 64 bytes into a block) split at every
// position, and three-way splits, give the one-shot digest.
TEST(Md5, IncrementalUpdatesMatchOneShotAtEverySplit) {
    unsigned char data[300];
    FillPattern(data, sizeof data);
    const size_t lengths[] = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 129, 300};
    for (size_t length : lengths) {
        unsigned char expected[kMd5DigestSize];
        ComputeMd5(data, length, expected);
        for (size_t split = 0; split <= length; ++split) {
            Md5 md5;
            md5.Update(data, split);
            md5.Update(data + split, length - split);
            unsigned char digest[kMd5DigestSize];
            md5.Final(digest);
            ASSERT_EQ(0, memcmp(expected, digest, sizeof digest)) << length << " at " << split;
        }
        for (size_t step = 1; step <= 70 && step <= length; step += 3) {
            Md5 md5;
            for (size_t at = 0; at < length; at += step)
                md5.Update(data + at, length - at < step ? length - at : step);
            unsigned char digest[kMd5DigestSize];
            md5.Final(digest);
            ASSERT_EQ(0, memcmp(expected, digest, sizeof digest)) << length << " by " << step;
        }
    }
}

// Two digests fed together must each end as if fed alone, whether the two stand at the
// same offset in a block (the lanes run side by side) or not, and at every length.
TEST(Md5, UpdateBothMatchesTwoSeparateDigests) {
    unsigned char data[400];
    FillPattern(data, sizeof data);
    const size_t secondLeads[] = {0, 1, 63, 64, 100, 128};
    const size_t lengths[] = {0, 1, 63, 64, 65, 127, 128, 200, 400};
    for (size_t lead : secondLeads) {
        for (size_t firstLead : {size_t{0}, size_t{64}, size_t{5}}) {
            for (size_t length : lengths) {
                Md5 together1, together2, alone1, alone2;
                together1.Update(data, firstLead);
                alone1.Update(data, firstLead);
                together2.Update(data, lead);
                alone2.Update(data, lead);
                Md5::UpdateBoth(together1, together2, data, length);
                alone1.Update(data, length);
                alone2.Update(data, length);
                unsigned char a[kMd5DigestSize], b[kMd5DigestSize];
                together1.Final(a);
                alone1.Final(b);
                ASSERT_EQ(0, memcmp(a, b, sizeof a)) << firstLead << "/" << lead << "/" << length;
                together2.Final(a);
                alone2.Final(b);
                ASSERT_EQ(0, memcmp(a, b, sizeof a)) << firstLead << "/" << lead << "/" << length;
            }
        }
    }
}

TEST(Md5, InitStartsAFreshDigest) {
    Md5 md5;
    md5.Update("garbage", 7);
    unsigned char digest[kMd5DigestSize];
    md5.Final(digest);
    md5.Init();
    md5.Update("abc", 3);
    md5.Final(digest);
    char hex[2 * kMd5DigestSize + 1];
    ToHex(digest, hex);
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", hex);
}

// The checksum is the first four digest bytes, little-endian, signed: negative exactly when
// the fourth byte has its high bit set.
TEST(Md5, PackageChecksumIsFirstFourBytesLittleEndianSigned) {
    struct Case {
        const char* text;
        int32_t checksum;
        const char* written;
    };
    const Case cases[] = {
        {"", -645128748, "-645128748"},                // d4 1d 8c d9
        {"a", -1183465204, "-1183465204"},             // 0c c1 75 b9
        {"abc", -1739587184, "-1739587184"},           // 90 01 50 98
        {"message digest", 2104060921, "2104060921"},  // f9 6b 69 7d
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.checksum, ComputePackageChecksum(c.text, strlen(c.text))) << c.text;
        char text[kChecksumTextSize];
        FormatPackageChecksum(c.checksum, text);
        EXPECT_STREQ(c.written, text);
    }
    const unsigned char extremes[][kMd5DigestSize] = {
        {0x00, 0x00, 0x00, 0x80}, {0xff, 0xff, 0xff, 0xff}, {0xff, 0xff, 0xff, 0x7f}};
    EXPECT_EQ(INT32_MIN, PackageChecksum(extremes[0]));
    EXPECT_EQ(-1, PackageChecksum(extremes[1]));
    EXPECT_EQ(INT32_MAX, PackageChecksum(extremes[2]));
    char text[kChecksumTextSize];
    FormatPackageChecksum(INT32_MIN, text);
    EXPECT_STREQ("-2147483648", text);
}
