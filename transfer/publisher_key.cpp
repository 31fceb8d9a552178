// Reading the publisher's key: base64, then a strict DER walk of the SubjectPublicKeyInfo
// (see publisher_key.h).
#include "transfer/publisher_key.h"

#include <string.h>

#include "transfer/base64.h"

namespace {

const unsigned char kSequence = 0x30;
const unsigned char kInteger = 0x02;
const unsigned char kBitString = 0x03;
const unsigned char kNull = 0x05;
const unsigned char kObjectId = 0x06;
// 1.2.840.113549.1.1.1, rsaEncryption.
const unsigned char kRsaEncryption[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
// The DER of the largest accepted key is about 550 bytes.
const size_t kMaxDerSize = 768;

// A cursor over DER bytes; every read stays within [at, end).
struct Der {
    const unsigned char* at;
    const unsigned char* end;

    // Reads one element's tag and length; contents is the element's body, and the cursor
    // moves past it. Only the definite lengths DER allows, in at most two bytes.
    bool Element(unsigned char tag, Der& contents) {
        if (end - at < 2 || at[0] != tag) return false;
        size_t length = at[1];
        const unsigned char* body = at + 2;
        if (length == 0x81 || length == 0x82) {
            size_t count = length & 0x7F;
            if (static_cast<size_t>(end - body) < count || body[0] == 0) return false;
            length = 0;
            for (size_t i = 0; i < count; ++i) length = length * 256 + body[i];
            body += count;
            // The short form is required where it fits.
            if (length < 0x80) return false;
        } else if (length >= 0x80) {
            return false;
        }
        if (static_cast<size_t>(end - body) < length) return false;
        contents.at = body;
        contents.end = body + length;
        at = body + length;
        return true;
    }

    bool Empty() const { return at == end; }
    size_t Size() const { return static_cast<size_t>(end - at); }
};

// A positive INTEGER in minimal form: its magnitude without the sign byte.
bool PositiveInteger(Der& der, Der& magnitude) {
    if (!der.Element(kInteger, magnitude) || magnitude.Empty()) return false;
    if (magnitude.at[0] & 0x80) return false;  // negative
    if (magnitude.at[0] == 0) {
        ++magnitude.at;
        // A zero byte is there only to keep a high bit from reading as a sign.
        if (magnitude.Empty() || (magnitude.at[0] & 0x80) == 0) return false;
    }
    return true;
}

bool RsaAlgorithm(Der& der) {
    Der algorithm, oid, parameters;
    if (!der.Element(kSequence, algorithm) || !algorithm.Element(kObjectId, oid)) return false;
    if (oid.Size() != sizeof kRsaEncryption || memcmp(oid.at, kRsaEncryption, oid.Size()) != 0)
        return false;
    // The parameters are NULL, or absent as some writers leave them.
    if (algorithm.Empty()) return true;
    return algorithm.Element(kNull, parameters) && parameters.Empty() && algorithm.Empty();
}

bool RsaPublicKey(Der& der, PublisherKey& key) {
    Der bits, sequence, modulus, exponent;
    if (!der.Element(kBitString, bits) || bits.Empty() || bits.at[0] != 0) return false;
    ++bits.at;  // no unused bits
    if (!bits.Element(kSequence, sequence) || !bits.Empty()) return false;
    if (!PositiveInteger(sequence, modulus) || !PositiveInteger(sequence, exponent) ||
        !sequence.Empty())
        return false;
    if (modulus.Size() < kMinPublisherKeyBits / 8 || modulus.Size() > kMaxModulusSize) return false;
    if (exponent.Size() > 4) return false;
    uint32_t value = 0;
    for (const unsigned char* p = exponent.at; p < exponent.end; ++p) value = value * 256 + *p;
    if (value < 3 || (value & 1) == 0) return false;
    memcpy(key.modulus, modulus.at, modulus.Size());
    key.modulusSize = modulus.Size();
    key.exponent = value;
    return true;
}

}  // namespace

bool ParsePublisherKey(const char* text, PublisherKey& key) {
    if (text == nullptr) return false;
    // Base64Decode skips characters outside the alphabet; a key must be nothing else.
    for (const char* p = text; *p != '\0'; ++p) {
        bool known = strchr(standardBase64Alphabet, *p) != nullptr || *p == '=' || *p == ' ' ||
                     *p == '\t' || *p == '\r' || *p == '\n';
        if (!known) return false;
    }
    unsigned char bytes[kMaxDerSize];
    int size = Base64Decode(text, standardBase64Alphabet, bytes, sizeof bytes);
    if (size <= 0) return false;
    Der whole = {bytes, bytes + size}, info;
    if (!whole.Element(kSequence, info) || !whole.Empty()) return false;
    PublisherKey parsed;
    if (!RsaAlgorithm(info) || !RsaPublicKey(info, parsed) || !info.Empty()) return false;
    key = parsed;
    return true;
}
