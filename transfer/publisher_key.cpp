// Reading the publisher's key: base64, then a strict DER walk of the SubjectPublicKeyInfo
// (see publisher_key.h).
#include "transfer/publisher_key.h"

#include <string.h>

#include "transfer/base64.h"
#include "transfer/der_reader.h"

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

// A positive INTEGER in minimal form: its magnitude without the sign byte.
bool PositiveInteger(DerReader& der, DerReader& magnitude) {
    if (!der.Read(kInteger, magnitude) || magnitude.AtEnd()) return false;
    if (magnitude.at[0] & 0x80) return false;  // negative
    if (magnitude.at[0] == 0) {
        ++magnitude.at;
        // A zero byte is there only to keep a high bit from reading as a sign.
        if (magnitude.AtEnd() || (magnitude.at[0] & 0x80) == 0) return false;
    }
    return true;
}

bool RsaAlgorithm(DerReader& der) {
    DerReader algorithm, oid, parameters;
    if (!der.Read(kSequence, algorithm) || !algorithm.Read(kObjectId, oid)) return false;
    if (oid.Size() != sizeof kRsaEncryption || memcmp(oid.at, kRsaEncryption, oid.Size()) != 0)
        return false;
    // The parameters are NULL, or absent as some writers leave them.
    if (algorithm.AtEnd()) return true;
    return algorithm.Read(kNull, parameters) && parameters.AtEnd() && algorithm.AtEnd();
}

bool RsaPublicKey(DerReader& der, PublisherKey& key) {
    DerReader bits, sequence, modulus, exponent;
    if (!der.Read(kBitString, bits) || bits.AtEnd() || bits.at[0] != 0) return false;
    ++bits.at;  // no unused bits
    if (!bits.Read(kSequence, sequence) || !bits.AtEnd()) return false;
    if (!PositiveInteger(sequence, modulus) || !PositiveInteger(sequence, exponent) ||
        !sequence.AtEnd())
        return false;
    if (modulus.Size() < kMinPublisherKeyBits / 8 || modulus.Size() > kMaxModulusSize) return false;
    // A key is as long as its bytes say: a modulus whose top bit is clear is a shorter key.
    if ((modulus.at[0] & 0x80) == 0) return false;
    if (exponent.Size() > 4) return false;
    uint32_t value = 0;
    for (const unsigned char* p = exponent.at; p < exponent.end; ++p) value = value * 256 + *p;
    if (value != kPublisherKeyExponent) return false;
    memcpy(key.modulus, modulus.at, modulus.Size());
    key.modulusSize = modulus.Size();
    key.exponent = value;
    return true;
}

}  // namespace

bool ParsePublisherKey(const char* text, PublisherKey& key) {
    if (text == nullptr) return false;
    unsigned char bytes[kMaxDerSize];
    int size = Base64DecodeStrict(text, bytes, sizeof bytes);
    if (size <= 0) return false;
    DerReader whole = {bytes, bytes + size}, info;
    if (!whole.Read(kSequence, info) || !whole.AtEnd()) return false;
    PublisherKey parsed;
    if (!RsaAlgorithm(info) || !RsaPublicKey(info, parsed) || !info.AtEnd()) return false;
    key = parsed;
    return true;
}
