// MD5 (RFC 1321). The rounds are written out with macros so that the block function has no
// calls in it even in unoptimised builds; whole blocks of the caller's data are digested in
// place, only the ragged ends go through the pending buffer.
#include "transfer/md5.h"

#include "common/text.h"

#include <stdio.h>
#include <string.h>

namespace {

inline uint32_t LoadLittleEndian(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t value;
    memcpy(&value, p, sizeof value);
    return value;
#else
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
#endif
}

inline void StoreLittleEndian(uint32_t value, unsigned char* p) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
// The two halves of G never have a bit set in common, so they may be added: (y & ~z)
// does not wait for x, the result of the step before, which shortens each step's chain.
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, word, constant, shift)    \
    do {                                                  \
        (a) += f((b), (c), (d)) + (word) + (constant);    \
        (a) = ((a) << (shift)) | ((a) >> (32 - (shift))); \
        (a) += (b);                                       \
    } while (0)

// The 64 steps: function, the four registers in turn, the word, the constant, the shift.
#define MD5_STEPS(STEP)                          \
    STEP(MD5_F, a, b, c, d, 0, 0xd76aa478u, 7)   \
    STEP(MD5_F, d, a, b, c, 1, 0xe8c7b756u, 12)  \
    STEP(MD5_F, c, d, a, b, 2, 0x242070dbu, 17)  \
    STEP(MD5_F, b, c, d, a, 3, 0xc1bdceeeu, 22)  \
    STEP(MD5_F, a, b, c, d, 4, 0xf57c0fafu, 7)   \
    STEP(MD5_F, d, a, b, c, 5, 0x4787c62au, 12)  \
    STEP(MD5_F, c, d, a, b, 6, 0xa8304613u, 17)  \
    STEP(MD5_F, b, c, d, a, 7, 0xfd469501u, 22)  \
    STEP(MD5_F, a, b, c, d, 8, 0x698098d8u, 7)   \
    STEP(MD5_F, d, a, b, c, 9, 0x8b44f7afu, 12)  \
    STEP(MD5_F, c, d, a, b, 10, 0xffff5bb1u, 17) \
    STEP(MD5_F, b, c, d, a, 11, 0x895cd7beu, 22) \
    STEP(MD5_F, a, b, c, d, 12, 0x6b901122u, 7)  \
    STEP(MD5_F, d, a, b, c, 13, 0xfd987193u, 12) \
    STEP(MD5_F, c, d, a, b, 14, 0xa679438eu, 17) \
    STEP(MD5_F, b, c, d, a, 15, 0x49b40821u, 22) \
                                                 \
    STEP(MD5_G, a, b, c, d, 1, 0xf61e2562u, 5)   \
    STEP(MD5_G, d, a, b, c, 6, 0xc040b340u, 9)   \
    STEP(MD5_G, c, d, a, b, 11, 0x265e5a51u, 14) \
    STEP(MD5_G, b, c, d, a, 0, 0xe9b6c7aau, 20)  \
    STEP(MD5_G, a, b, c, d, 5, 0xd62f105du, 5)   \
    STEP(MD5_G, d, a, b, c, 10, 0x02441453u, 9)  \
    STEP(MD5_G, c, d, a, b, 15, 0xd8a1e681u, 14) \
    STEP(MD5_G, b, c, d, a, 4, 0xe7d3fbc8u, 20)  \
    STEP(MD5_G, a, b, c, d, 9, 0x21e1cde6u, 5)   \
    STEP(MD5_G, d, a, b, c, 14, 0xc33707d6u, 9)  \
    STEP(MD5_G, c, d, a, b, 3, 0xf4d50d87u, 14)  \
    STEP(MD5_G, b, c, d, a, 8, 0x455a14edu, 20)  \
    STEP(MD5_G, a, b, c, d, 13, 0xa9e3e905u, 5)  \
    STEP(MD5_G, d, a, b, c, 2, 0xfcefa3f8u, 9)   \
    STEP(MD5_G, c, d, a, b, 7, 0x676f02d9u, 14)  \
    STEP(MD5_G, b, c, d, a, 12, 0x8d2a4c8au, 20) \
                                                 \
    STEP(MD5_H, a, b, c, d, 5, 0xfffa3942u, 4)   \
    STEP(MD5_H, d, a, b, c, 8, 0x8771f681u, 11)  \
    STEP(MD5_H, c, d, a, b, 11, 0x6d9d6122u, 16) \
    STEP(MD5_H, b, c, d, a, 14, 0xfde5380cu, 23) \
    STEP(MD5_H, a, b, c, d, 1, 0xa4beea44u, 4)   \
    STEP(MD5_H, d, a, b, c, 4, 0x4bdecfa9u, 11)  \
    STEP(MD5_H, c, d, a, b, 7, 0xf6bb4b60u, 16)  \
    STEP(MD5_H, b, c, d, a, 10, 0xbebfbc70u, 23) \
    STEP(MD5_H, a, b, c, d, 13, 0x289b7ec6u, 4)  \
    STEP(MD5_H, d, a, b, c, 0, 0xeaa127fau, 11)  \
    STEP(MD5_H, c, d, a, b, 3, 0xd4ef3085u, 16)  \
    STEP(MD5_H, b, c, d, a, 6, 0x04881d05u, 23)  \
    STEP(MD5_H, a, b, c, d, 9, 0xd9d4d039u, 4)   \
    STEP(MD5_H, d, a, b, c, 12, 0xe6db99e5u, 11) \
    STEP(MD5_H, c, d, a, b, 15, 0x1fa27cf8u, 16) \
    STEP(MD5_H, b, c, d, a, 2, 0xc4ac5665u, 23)  \
                                                 \
    STEP(MD5_I, a, b, c, d, 0, 0xf4292244u, 6)   \
    STEP(MD5_I, d, a, b, c, 7, 0x432aff97u, 10)  \
    STEP(MD5_I, c, d, a, b, 14, 0xab9423a7u, 15) \
    STEP(MD5_I, b, c, d, a, 5, 0xfc93a039u, 21)  \
    STEP(MD5_I, a, b, c, d, 12, 0x655b59c3u, 6)  \
    STEP(MD5_I, d, a, b, c, 3, 0x8f0ccc92u, 10)  \
    STEP(MD5_I, c, d, a, b, 10, 0xffeff47du, 15) \
    STEP(MD5_I, b, c, d, a, 1, 0x85845dd1u, 21)  \
    STEP(MD5_I, a, b, c, d, 8, 0x6fa87e4fu, 6)   \
    STEP(MD5_I, d, a, b, c, 15, 0xfe2ce6e0u, 10) \
    STEP(MD5_I, c, d, a, b, 6, 0xa3014314u, 15)  \
    STEP(MD5_I, b, c, d, a, 13, 0x4e0811a1u, 21) \
    STEP(MD5_I, a, b, c, d, 4, 0xf7537e82u, 6)   \
    STEP(MD5_I, d, a, b, c, 11, 0xbd3af235u, 10) \
    STEP(MD5_I, c, d, a, b, 2, 0x2ad7d2bbu, 15)  \
    STEP(MD5_I, b, c, d, a, 9, 0xeb86d391u, 21)

void LoadWords(const unsigned char* data, uint32_t (&x)[16]) {
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(data + 4 * i);
}

// One digest alone. It could ride in the first of two lanes, but the lane thrown away
// would still take the processor's time.
#define MD5_STEP_ONE(f, a, b, c, d, word, constant, shift) \
    MD5_STEP(f, a, b, c, d, x[word], constant, shift);

void DigestBlocks(uint32_t state[4], const unsigned char* data, size_t blockCount) {
    for (; blockCount > 0; --blockCount, data += kMd5BlockSize) {
        uint32_t x[16];
        LoadWords(data, x);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        MD5_STEPS(MD5_STEP_ONE)
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
}

// Two lanes: the same data into two states. MD5 is one long chain of dependent steps, so
// a processor runs the two chains side by side in about the time of one.
#define MD5_STEP_TWO(f, a, b, c, d, word, constant, shift) \
    MD5_STEP(f, a, b, c, d, x[word], constant, shift);     \
    MD5_STEP(f, a##2, b##2, c##2, d##2, x[word], constant, shift);

void DigestBlocksTwice(uint32_t first[4], uint32_t second[4], const unsigned char* data,
                       size_t blockCount) {
    uint32_t a = first[0], b = first[1], c = first[2], d = first[3];
    uint32_t a2 = second[0], b2 = second[1], c2 = second[2], d2 = second[3];
    for (; blockCount > 0; --blockCount, data += kMd5BlockSize) {
        uint32_t x[16];
        LoadWords(data, x);
        const uint32_t oldA = a, oldB = b, oldC = c, oldD = d;
        const uint32_t oldA2 = a2, oldB2 = b2, oldC2 = c2, oldD2 = d2;
        MD5_STEPS(MD5_STEP_TWO)
        a += oldA;
        b += oldB;
        c += oldC;
        d += oldD;
        a2 += oldA2;
        b2 += oldB2;
        c2 += oldC2;
        d2 += oldD2;
    }
    first[0] = a;
    first[1] = b;
    first[2] = c;
    first[3] = d;
    second[0] = a2;
    second[1] = b2;
    second[2] = c2;
    second[3] = d2;
}

}  // namespace

Md5::Md5() { Init(); }

void Md5::Init() {
    state[0] = 0x67452301u;
    state[1] = 0xefcdab89u;
    state[2] = 0x98badcfeu;
    state[3] = 0x10325476u;
    byteCount = 0;
}

void Md5::Update(const void* data, size_t length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t used = static_cast<size_t>(byteCount % kMd5BlockSize);
    byteCount += length;
    if (used > 0) {
        size_t take = kMd5BlockSize - used;
        if (length < take) {
            memcpy(pending + used, bytes, length);
            return;
        }
        memcpy(pending + used, bytes, take);
        DigestBlocks(state, pending, 1);
        bytes += take;
        length -= take;
    }
    size_t blocks = length / kMd5BlockSize;
    if (blocks > 0) DigestBlocks(state, bytes, blocks);
    bytes += blocks * kMd5BlockSize;
    length -= blocks * kMd5BlockSize;
    if (length > 0) memcpy(pending, bytes, length);
}

void Md5::UpdateBoth(Md5& first, Md5& second, const void* data, size_t length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t used = static_cast<size_t>(first.byteCount % kMd5BlockSize);
    if (used != second.byteCount % kMd5BlockSize) {
        first.Update(bytes, length);
        second.Update(bytes, length);
        return;
    }
    size_t head = used == 0 ? 0 : kMd5BlockSize - used;
    if (head > length) head = length;
    first.Update(bytes, head);
    second.Update(bytes, head);
    bytes += head;
    length -= head;
    size_t blocks = length / kMd5BlockSize;
    if (blocks > 0) DigestBlocksTwice(first.state, second.state, bytes, blocks);
    first.byteCount += blocks * kMd5BlockSize;
    second.byteCount += blocks * kMd5BlockSize;
    bytes += blocks * kMd5BlockSize;
    length -= blocks * kMd5BlockSize;
    first.Update(bytes, length);
    second.Update(bytes, length);
}

void Md5::Final(unsigned char digest[kMd5DigestSize]) {
    // Padding: a 1 bit, zeros up to 56 bytes into a block, then the length in bits.
    const uint64_t bitCount = byteCount * 8;
    size_t used = static_cast<size_t>(byteCount % kMd5BlockSize);
    unsigned char padding[2 * kMd5BlockSize] = {0x80};
    size_t padLength = (used < 56 ? 56 : 56 + kMd5BlockSize) - used;
    for (int i = 0; i < 8; ++i)
        padding[padLength + i] = static_cast<unsigned char>(bitCount >> (8 * i));
    Update(padding, padLength + 8);
    for (int i = 0; i < 4; ++i) StoreLittleEndian(state[i], digest + 4 * i);
}

void ComputeMd5(const void* data, size_t length, unsigned char digest[kMd5DigestSize]) {
    Md5 md5;
    md5.Update(data, length);
    md5.Final(digest);
}

int32_t PackageChecksum(const unsigned char digest[kMd5DigestSize]) {
    uint32_t value = static_cast<uint32_t>(digest[0]) | static_cast<uint32_t>(digest[1]) << 8 |
                     static_cast<uint32_t>(digest[2]) << 16 |
                     static_cast<uint32_t>(digest[3]) << 24;
    // Two's complement without relying on the conversion of out-of-range values.
    return value <= 0x7FFFFFFFu ? static_cast<int32_t>(value) : -static_cast<int32_t>(~value) - 1;
}

int32_t ComputePackageChecksum(const void* data, size_t length) {
    unsigned char digest[kMd5DigestSize];
    ComputeMd5(data, length, digest);
    return PackageChecksum(digest);
}

void FormatPackageChecksum(int32_t checksum, char (&text)[kChecksumTextSize]) {
    FormatDecimal(text, sizeof text, checksum);
}
