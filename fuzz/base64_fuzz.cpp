// Base64 in both alphabets: the Basic credentials of requests and the scrambled
// passwords of descriptions. The input's first byte picks the alphabet; the rest is
// decoded as text and encoded as bytes, and both must come back unchanged. The strict
// decoding (the publisher's key) takes only what the lenient one reads the same way, and
// only the one spelling the encoder writes.
#include "fuzz/fuzz_support.h"
#include "transfer/base64.h"

namespace {

const size_t kDecodeSizes[] = {0, 1, 2, 3, 16, 260};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* alphabet = (data[0] & 1) != 0 ? passwordBase64Alphabet : standardBase64Alphabet;
    const uint8_t* bytes = data + 1;
    const size_t length = size - 1;
    FuzzText text(bytes, length);

    // Decoding any text stays within the room given, whatever the room.
    for (size_t room : kDecodeSizes) {
        ExactBuffer out(room);
        int decoded = Base64Decode(text.get(), alphabet, out.bytesOf(), room);
        FUZZ_CHECK(decoded >= -1 && (decoded == -1 || static_cast<size_t>(decoded) <= room));
    }
    int decoded = -1;
    ExactBuffer all(length);
    decoded = Base64Decode(text.get(), alphabet, all.bytesOf(), length);
    FUZZ_CHECK(decoded >= -1 && (decoded == -1 || static_cast<size_t>(decoded) <= length));

    // Encoding: exactly 4 x ceil(n / 3) characters, refused whole when one byte short.
    const size_t needed = (length + 2) / 3 * 4 + 1;
    ExactBuffer encoded(needed);
    FUZZ_CHECK(Base64Encode(bytes, length, alphabet, encoded.get(), needed));
    FUZZ_CHECK(strlen(encoded.get()) == needed - 1);
    ExactBuffer shorter(needed - 1);
    FUZZ_CHECK(!Base64Encode(bytes, length, alphabet, shorter.get(), needed - 1));
    FUZZ_CHECK(needed - 1 == 0 || shorter.get()[0] == '\0');

    // What was encoded decodes to the same bytes.
    ExactBuffer back(length);
    int backLength = Base64Decode(encoded.get(), alphabet, back.bytesOf(), length);
    FUZZ_CHECK(backLength == static_cast<int>(length));
    FUZZ_CHECK(length == 0 || memcmp(back.get(), bytes, length) == 0);

    // What was decoded encodes and decodes to the same bytes.
    if (decoded > 0) {
        size_t count = static_cast<size_t>(decoded);
        size_t room = (count + 2) / 3 * 4 + 1;
        ExactBuffer again(room);
        FUZZ_CHECK(Base64Encode(all.get(), count, alphabet, again.get(), room));
        ExactBuffer twice(count);
        FUZZ_CHECK(Base64Decode(again.get(), alphabet, twice.bytesOf(), count) == decoded);
        FUZZ_CHECK(memcmp(twice.get(), all.get(), count) == 0);
    }

    if (alphabet == standardBase64Alphabet) {
        ExactBuffer strict(length);
        int strictLength = Base64DecodeStrict(text.get(), strict.bytesOf(), length);
        FUZZ_CHECK(strictLength == -1 || strictLength == decoded);
        FUZZ_CHECK(strictLength <= 0 || memcmp(strict.get(), all.get(), decoded) == 0);
        FUZZ_CHECK(Base64DecodeStrict(encoded.get(), back.bytesOf(), length) ==
                   static_cast<int>(length));
    }
    return 0;
}
