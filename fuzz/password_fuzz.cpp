// Scrambled passwords of descriptions. The input is unscrambled as a description's
// text into the 260-byte password fields (and smaller ones); then its first four bytes
// are taken as start value, control byte and filler, the rest as a password that must
// come back unchanged from scrambling and unscrambling.
#include "fuzz/fuzz_support.h"
#include "transfer/password.h"

namespace {

const size_t kPlainSizes[] = {0, 1, 5, kPasswordFieldSize};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzText scrambled(data, size);
    for (size_t plainSize : kPlainSizes) {
        ExactBuffer plain(plainSize);
        if (plainSize > 0) memset(plain.get(), 0x5A, plainSize);
        bool ok = UnscramblePassword(scrambled.get(), plain.get(), plainSize);
        if (ok)
            FUZZ_CHECK(plain.Terminated());
        else
            FUZZ_CHECK(plainSize == 0 || plain.get()[0] == 0x5A);
    }

    if (size < kScrambleHeaderSize) return 0;
    const uint8_t* password = data + kScrambleHeaderSize;
    size_t length = size - kScrambleHeaderSize;
    if (length > kMaxScrambledPasswordLength) length = kMaxScrambledPasswordLength;
    // The encoding of the four header bytes and the password, and its NUL.
    const size_t room = (kScrambleHeaderSize + length + 2) / 3 * 4 + 1;
    ExactBuffer text(room);
    unsigned short filler = static_cast<unsigned short>(data[2] | (data[3] << 8));
    FUZZ_CHECK(ScramblePassword(password, length, data[0], data[1], filler, text.get(), room));
    ExactBuffer plain(length + 1);
    FUZZ_CHECK(UnscramblePassword(text.get(), plain.get(), length + 1));
    // A zero byte in the password ends it.
    size_t expected = strnlen(reinterpret_cast<const char*>(password), length);
    FUZZ_CHECK(strlen(plain.get()) == expected);
    FUZZ_CHECK(memcmp(plain.get(), password, expected) == 0);
    return 0;
}
