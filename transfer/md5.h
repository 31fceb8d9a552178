// The MD5 message digest (RFC 1321) and the package checksum built on it: the first four
// bytes of a digest read as a little-endian signed 32-bit integer, written in decimal.
#pragma once

#include <stddef.h>
#include <stdint.h>

const size_t kMd5DigestSize = 16;
const size_t kMd5BlockSize = 64;
// "-2147483648" and its NUL.
const size_t kChecksumTextSize = 12;

// An incremental digest: Init (also done by the constructor), any number of Updates, then
// Final. After Final the object must be initialised again before further use.
class Md5 {
public:
    Md5();
    void Init();
    void Update(const void* data, size_t length);
    void Final(unsigned char digest[kMd5DigestSize]);
    // The same bytes into two digests, as an Update of each would take them, in one pass
    // over the bytes (a part's own digest and the whole file's, for example).
    static void UpdateBoth(Md5& first, Md5& second, const void* data, size_t length);

private:
    uint32_t state[4];
    uint64_t byteCount;
    unsigned char pending[kMd5BlockSize] = {};  // the start of an incomplete block
};

void ComputeMd5(const void* data, size_t length, unsigned char digest[kMd5DigestSize]);

// The package checksum of a digest, and of a run of bytes.
int32_t PackageChecksum(const unsigned char digest[kMd5DigestSize]);
int32_t ComputePackageChecksum(const void* data, size_t length);

// Writes checksum in decimal, with a "-" when it is negative.
void FormatPackageChecksum(int32_t checksum, char (&text)[kChecksumTextSize]);
