// Test keys and signed packages through CryptoAPI (see signing_support.h).
#include "signing_support.h"

#include "package_support.h"
#include "process_support.h"
#include "transfer/base64.h"

#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

// DER: a tag, its length in the shortest form, and the contents.
Bytes Element(unsigned char tag, const Bytes& contents) {
    Bytes out = {tag};
    size_t n = contents.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else if (n < 0x100) {
        out.push_back(0x81);
        out.push_back(static_cast<unsigned char>(n));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<unsigned char>(n >> 8));
        out.push_back(static_cast<unsigned char>(n));
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

Bytes Concatenate(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// A positive INTEGER from big-endian magnitude bytes.
Bytes Integer(Bytes magnitude) {
    while (magnitude.size() > 1 && magnitude[0] == 0) magnitude.erase(magnitude.begin());
    if (magnitude[0] & 0x80) magnitude.insert(magnitude.begin(), 0);
    return Element(0x02, magnitude);
}

std::string Digest(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[32] = {};
    DWORD size = sizeof digest;
    if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
        CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()), 0))
        CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

}  // namespace

TestPublisher::TestPublisher(DWORD bits) {
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        provider = 0;
    else if (!CryptGenKey(provider, AT_SIGNATURE, (bits << 16) | CRYPT_EXPORTABLE, &key))
        key = 0;
}

TestPublisher::~TestPublisher() {
    if (key != 0) CryptDestroyKey(key);
    if (provider != 0) CryptReleaseContext(provider, 0);
}

std::string TestPublisher::PublicKeyText() const {
    DWORD size = 0;
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size)) return "";
    Bytes blob(size);
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size)) return "";
    const RSAPUBKEY* rsa = reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
    const BYTE* modulusLe = blob.data() + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    Bytes modulus(modulusLe, modulusLe + rsa->bitlen / 8);
    Bytes reversed(modulus.rbegin(), modulus.rend());
    Bytes exponent = {static_cast<unsigned char>(rsa->pubexp >> 24),
                      static_cast<unsigned char>(rsa->pubexp >> 16),
                      static_cast<unsigned char>(rsa->pubexp >> 8),
                      static_cast<unsigned char>(rsa->pubexp)};
    Bytes rsaKey = Element(0x30, Concatenate(Integer(reversed), Integer(exponent)));
    const Bytes algorithm = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                             0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};
    Bytes bitString = Element(0x03, Concatenate(Bytes{0}, rsaKey));
    Bytes info = Element(0x30, Concatenate(algorithm, bitString));
    std::vector<char> text(info.size() * 2 + 8);
    if (!Base64Encode(info.data(), info.size(), standardBase64Alphabet, text.data(), text.size()))
        return "";
    return text.data();
}

std::string TestPublisher::Sign(const std::string& bytes) const {
    HCRYPTHASH hash = 0;
    std::string signature;
    DWORD size = 0;
    if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
        CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()), 0) &&
        CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, nullptr, &size)) {
        Bytes little(size);
        if (CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, little.data(), &size))
            signature.assign(little.rbegin(), little.rend());
    }
    if (hash != 0) CryptDestroyHash(hash);
    return signature;
}

std::string Sha256Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : Digest(bytes)) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string Sha256Section(const std::string& content, size_t partSize) {
    std::string section = "[sha256]\r\n";
    for (size_t n = 0; n * partSize < content.size(); ++n)
        section += PartName(n) + "=" + Sha256Hex(content.substr(n * partSize, partSize)) + "\r\n";
    return section + "total=" + Sha256Hex(content) + "\r\n";
}

void SignPackage(const std::string& directory, const std::string& content, size_t partSize,
                 const TestPublisher& publisher, const std::string& head) {
    std::string manifestPath = directory + "\\pkginfo.txt";
    std::string manifest = head + ReadWholeFile(manifestPath) + Sha256Section(content, partSize);
    WriteWholeFile(manifestPath, manifest);
    WriteWholeFile(directory + "\\pkginfo.sig", publisher.Sign(manifest));
}
