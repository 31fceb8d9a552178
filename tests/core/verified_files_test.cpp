// The run's table of files found to be the publisher's.
#include "config/verified_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Sha256Digest DigestOf(unsigned char value) {
    Sha256Digest digest;
    for (unsigned char& byte : digest.bytes) byte = value;
    return digest;
}

}  // namespace

TEST(VerifiedFiles, RecordsFindsAndReplacesIgnoringCase) {
    VerifiedFiles files;
    Sha256Digest found;
    EXPECT_FALSE(files.Find("C:\\work\\a.zip", found));
    ASSERT_TRUE(files.Record("C:\\work\\a.zip", DigestOf(1)));
    ASSERT_TRUE(files.Record("C:\\work\\b.exe", DigestOf(2)));
    ASSERT_TRUE(files.Find("c:\\WORK\\A.ZIP", found));
    EXPECT_TRUE(SameDigest(found, DigestOf(1)));
    // A file fetched again in the same run is checked against its new digest.
    ASSERT_TRUE(files.Record("C:\\Work\\A.zip", DigestOf(3)));
    ASSERT_TRUE(files.Find("C:\\work\\a.zip", found));
    EXPECT_TRUE(SameDigest(found, DigestOf(3)));
    EXPECT_EQ(files.Count(), 2u);
    EXPECT_FALSE(files.Find("C:\\work\\a.zi", found)) << "no prefix matches";
}

TEST(VerifiedFiles, WhatFindsNoRoomStaysUnrecorded) {
    VerifiedFiles files;
    std::string longest(kVerifiedPathSize - 1, 'x');
    EXPECT_TRUE(files.Record(longest.c_str(), DigestOf(1)));
    std::string tooLong(kVerifiedPathSize, 'y');
    EXPECT_FALSE(files.Record(tooLong.c_str(), DigestOf(2)));
    Sha256Digest found;
    EXPECT_FALSE(files.Find(tooLong.substr(0, kVerifiedPathSize - 1).c_str(), found))
        << "a path is never recorded cut";
    for (size_t i = files.Count(); i < kMaxVerifiedFiles; ++i)
        ASSERT_TRUE(files.Record(("file" + std::to_string(i)).c_str(), DigestOf(3)));
    EXPECT_FALSE(files.Record("one more", DigestOf(4)));
    EXPECT_FALSE(files.Find("one more", found));
    EXPECT_TRUE(files.Record("file7", DigestOf(5))) << "replacing needs no room";
}
