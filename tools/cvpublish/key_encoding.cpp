// PEM and the PKCS#8 envelope of the publisher's keys (see key_encoding.h).
#include "tools/cvpublish/key_encoding.h"

#include <stdint.h>
#include <string.h>

#include <vector>

#include "transfer/base64.h"
#include "transfer/der_reader.h"

namespace {

const unsigned char kTagInteger = 0x02;
const unsigned char kTagOctetString = 0x04;
const unsigned char kTagNull = 0x05;
const unsigned char kTagObjectId = 0x06;
const unsigned char kTagSequence = 0x30;
// 1.2.840.113549.1.1.1, rsaEncryption.
const unsigned char kRsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

const char kPemDashes[] = "-----";
const char kPrivateKeyLabel[] = "PRIVATE KEY";
const char kRsaPrivateKeyLabel[] = "RSA PRIVATE KEY";
const char kPublicKeyLabel[] = "PUBLIC KEY";
const char kEncryptedKeyLabel[] = "ENCRYPTED PRIVATE KEY";
const size_t kPemLineLength = 64;

void AppendElement(std::string* out, unsigned char tag, const std::string& content) {
    out->push_back(static_cast<char>(tag));
    size_t length = content.size();
    if (length < 0x80) {
        out->push_back(static_cast<char>(length));
    } else {
        unsigned char bytes[sizeof(size_t)];
        size_t count = 0;
        for (size_t rest = length; rest != 0; rest >>= 8) bytes[count++] = rest & 0xFF;
        out->push_back(static_cast<char>(0x80 | count));
        while (count > 0) out->push_back(static_cast<char>(bytes[--count]));
    }
    out->append(content);
}

std::string Text(const unsigned char* bytes, size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

// The base64 body between "-----BEGIN label-----" and "-----END label-----" of the first
// block; false when there is no complete block.
bool FindPemBlock(const std::string& text, std::string* label, std::string* body) {
    const std::string begin = std::string(kPemDashes) + "BEGIN ";
    size_t start = text.find(begin);
    if (start == std::string::npos) return false;
    size_t labelStart = start + begin.size();
    size_t labelEnd = text.find(kPemDashes, labelStart);
    if (labelEnd == std::string::npos) return false;
    *label = text.substr(labelStart, labelEnd - labelStart);
    size_t bodyStart = labelEnd + strlen(kPemDashes);
    const std::string end = std::string(kPemDashes) + "END " + *label + kPemDashes;
    size_t bodyEnd = text.find(end, bodyStart);
    if (bodyEnd == std::string::npos) return false;
    *body = text.substr(bodyStart, bodyEnd - bodyStart);
    return true;
}

}  // namespace

std::string WrapPkcs8(const std::string& rsaPrivateKey) {
    std::string algorithm;
    AppendElement(&algorithm, kTagObjectId, Text(kRsaEncryptionOid, sizeof kRsaEncryptionOid));
    AppendElement(&algorithm, kTagNull, std::string());
    std::string info;
    AppendElement(&info, kTagInteger, std::string(1, '\0'));
    AppendElement(&info, kTagSequence, algorithm);
    AppendElement(&info, kTagOctetString, rsaPrivateKey);
    std::string der;
    AppendElement(&der, kTagSequence, info);
    return der;
}

bool UnwrapPkcs8(const std::string& der, std::string* rsaPrivateKey) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(der.data());
    DerReader whole{bytes, bytes + der.size()};
    DerReader info, version, algorithm, oid, key;
    if (!whole.Read(kTagSequence, info) || !whole.AtEnd() || !info.Read(kTagInteger, version) ||
        version.Size() != 1 || version.at[0] > 1 || !info.Read(kTagSequence, algorithm) ||
        !algorithm.Read(kTagObjectId, oid) || oid.Size() != sizeof kRsaEncryptionOid ||
        memcmp(oid.at, kRsaEncryptionOid, sizeof kRsaEncryptionOid) != 0 ||
        !info.Read(kTagOctetString, key))
        return false;
    // The attributes and the public key that may follow are not needed.
    *rsaPrivateKey = Text(key.at, key.Size());
    return true;
}

namespace {

// A CryptoAPI PRIVATEKEYBLOB: BLOBHEADER (type, version, reserved, algorithm) and RSAPUBKEY.
const unsigned char kPrivateKeyBlobType = 0x07;
const unsigned char kRsaPrivateMagic[] = {'R', 'S', 'A', '2'};
const size_t kBlobHeaderSize = 20;

uint32_t LittleEndian32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A non-negative INTEGER from little-endian bytes: minimal, with a zero byte where the
// high bit would read as a sign.
void AppendInteger(std::string* out, const unsigned char* littleEndian, size_t length) {
    while (length > 0 && littleEndian[length - 1] == 0) --length;
    std::string content;
    if (length == 0 || (littleEndian[length - 1] & 0x80) != 0) content.push_back('\0');
    for (size_t i = length; i > 0; --i) content.push_back(static_cast<char>(littleEndian[i - 1]));
    AppendElement(out, kTagInteger, content);
}

}  // namespace

bool RsaPrivateKeyFromBlob(const std::string& blob, std::string* rsaPrivateKey) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(blob.data());
    if (blob.size() < kBlobHeaderSize || bytes[0] != kPrivateKeyBlobType ||
        memcmp(bytes + 8, kRsaPrivateMagic, sizeof kRsaPrivateMagic) != 0)
        return false;
    uint32_t bits = LittleEndian32(bytes + 12);
    size_t modulus = (bits + 7) / 8, half = (bits + 15) / 16;
    if (bits == 0 || bits % 16 != 0 || blob.size() != kBlobHeaderSize + 2 * modulus + 5 * half)
        return false;
    const unsigned char* field = bytes + kBlobHeaderSize;
    std::string key;
    AppendInteger(&key, field, 0);  // version 0
    AppendInteger(&key, field, modulus);
    AppendInteger(&key, bytes + 16, 4);  // the public exponent
    // modulus, prime1, prime2, exponent1, exponent2, coefficient, then the private exponent,
    // which PKCS#1 lists right after the public one.
    AppendInteger(&key, field + modulus + 5 * half, modulus);
    for (size_t i = 0; i < 5; ++i) AppendInteger(&key, field + modulus + i * half, half);
    rsaPrivateKey->clear();
    AppendElement(rsaPrivateKey, kTagSequence, key);
    return true;
}

bool ReadKeyPem(const std::string& text, KeyFileContents* key, std::string* problem) {
    std::string label, body;
    if (!FindPemBlock(text, &label, &body)) {
        *problem = "no PEM key block (-----BEGIN ...----- to -----END ...-----)";
        return false;
    }
    if (label == kEncryptedKeyLabel || body.find(':') != std::string::npos) {
        *problem = "the key is encrypted; write it out plain (openssl pkey -in KEY -out PLAIN)";
        return false;
    }
    bool isPrivate = label == kPrivateKeyLabel || label == kRsaPrivateKeyLabel;
    if (!isPrivate && label != kPublicKeyLabel) {
        *problem = "a PEM block \"" + label +
                   "\" holds no key this tool reads (PRIVATE KEY, "
                   "RSA PRIVATE KEY, PUBLIC KEY)";
        return false;
    }
    std::vector<unsigned char> der(body.size() / 4 * 3 + 3);
    int length = Base64Decode(body.c_str(), standardBase64Alphabet, der.data(), der.size());
    if (length <= 0) {
        *problem = "the key's base64 text is broken";
        return false;
    }
    key->kind = isPrivate ? KeyKind::Private : KeyKind::Public;
    key->der = Text(der.data(), static_cast<size_t>(length));
    if (label == kPrivateKeyLabel && !UnwrapPkcs8(key->der, &key->der)) {
        *problem = "the PRIVATE KEY block holds no RSA key";
        return false;
    }
    return true;
}

std::string WritePrivateKeyPem(const std::string& rsaPrivateKey) {
    std::string der = WrapPkcs8(rsaPrivateKey);
    std::vector<char> base64(der.size() / 3 * 4 + 5);
    Base64Encode(der.data(), der.size(), standardBase64Alphabet, base64.data(), base64.size());
    std::string body = base64.data();
    std::string pem = std::string(kPemDashes) + "BEGIN " + kPrivateKeyLabel + kPemDashes + "\n";
    for (size_t i = 0; i < body.size(); i += kPemLineLength)
        pem += body.substr(i, kPemLineLength) + "\n";
    pem += std::string(kPemDashes) + "END " + kPrivateKeyLabel + kPemDashes + "\n";
    return pem;
}
