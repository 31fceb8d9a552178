// The file appender: blocks land in order and whole, and in the digests they were handed
// with, whatever the caller does with its other buffer meanwhile; a write that fails is
// reported, and nothing is written after it.
#include "transfer/file_appender_win.h"

#include "transfer/authenticity_win.h"
#include "transfer/md5.h"

#include "process_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Block(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + seed * 7) & 0xFF);
    return bytes;
}

TEST(FileAppender, BlocksFromTwoAlternatingBuffersLandInOrderAndInTheirDigests) {
    ScratchDirectory scratch;
    std::string path = scratch.Path() + "\\joined.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string expected;
    std::string digested;  // the blocks handed with the digests: every third one is not
    Md5 md5;
    Sha256Hash sha256;
    ASSERT_TRUE(sha256.Start());
    {
        FileAppender appender;
        appender.Start(file);
        std::vector<std::string> buffers(2);
        for (int n = 0; n < 9; ++n) {
            // The buffer handed over two blocks ago is free again once Append returns.
            std::string& buffer = buffers[n % 2];
            buffer = Block(n == 4 ? 0 : 70000 + n, n);
            expected += buffer;
            bool digestIt = n % 3 != 2;
            if (digestIt) digested += buffer;
            ASSERT_TRUE(appender.Append(buffer.data(), static_cast<DWORD>(buffer.size()),
                                        digestIt ? &md5 : nullptr, digestIt ? &sha256 : nullptr));
        }
        EXPECT_TRUE(appender.Finish());
    }
    CloseHandle(file);
    EXPECT_TRUE(ReadWholeFile(path) == expected);
    unsigned char taken[kMd5DigestSize];
    unsigned char computed[kMd5DigestSize];
    md5.Final(taken);
    ComputeMd5(digested.data(), digested.size(), computed);
    EXPECT_EQ(0, memcmp(taken, computed, kMd5DigestSize));
    Sha256Hash reference;
    Sha256Digest takenSha, computedSha;
    ASSERT_TRUE(sha256.Finish(takenSha));
    ASSERT_TRUE(reference.Start() && reference.Add(digested.data(), digested.size()) &&
                reference.Finish(computedSha));
    EXPECT_TRUE(SameDigest(takenSha, computedSha));
}

TEST(FileAppender, AFailedWriteIsReportedAndEndsTheWriting) {
    ScratchDirectory scratch;
    std::string path = scratch.Path() + "\\read-only.bin";
    WriteWholeFile(path, "kept");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string block = Block(4096, 1);
    {
        FileAppender appender;
        appender.Start(file);
        EXPECT_TRUE(appender.Append(block.data(), 4096, nullptr, nullptr));  // fails later
        EXPECT_FALSE(appender.Append(block.data(), 4096, nullptr, nullptr));
        EXPECT_FALSE(appender.Finish());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_ACCESS_DENIED), appender.LastError());
    }
    CloseHandle(file);
    EXPECT_EQ("kept", ReadWholeFile(path));
}

}  // namespace
