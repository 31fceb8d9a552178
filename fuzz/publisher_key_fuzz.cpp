// The publisher's key: the input is taken as the key's DER bytes (the structure is where a
// parser goes wrong), written as base64 and parsed; an accepted key must be one the
// platform's key blob can hold. The same bytes are also read as a digest text and a pin list.
#include "fuzz/fuzz_support.h"
#include "transfer/base64.h"
#include "transfer/publisher_key.h"
#include "transfer/sha256_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return 0;
    const size_t room = (size + 2) / 3 * 4 + 1;
    ExactBuffer text(room);
    FUZZ_CHECK(Base64Encode(data, size, standardBase64Alphabet, text.get(), room));
    PublisherKey key = {};
    if (ParsePublisherKey(text.get(), key)) {
        FUZZ_CHECK(key.modulusSize >= kMinPublisherKeyBits / 8);
        FUZZ_CHECK(key.modulusSize <= kMaxModulusSize);
        FUZZ_CHECK(key.modulus[0] != 0);
        FUZZ_CHECK(key.exponent >= 3 && (key.exponent & 1) == 1);
    }

    FuzzText raw(data, size);
    Sha256Digest digest;
    if (ParseSha256Hex(raw.get(), digest)) {
        char hex[kSha256HexLength + 1];
        FormatSha256Hex(digest, hex);
        Sha256Digest again;
        FUZZ_CHECK(ParseSha256Hex(hex, again) && SameDigest(again, digest));
    }
    size_t count = CountPinnedDigests(raw.get());
    FUZZ_CHECK(count <= size);
    FUZZ_CHECK(!PinnedDigest(raw.get(), count, digest));
    for (size_t i = 0; i < count && i < 4; ++i) (void)PinnedDigest(raw.get(), i, digest);
    return 0;
}
