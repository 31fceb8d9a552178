// The publisher's keys, hashes and signatures through the platform's CryptoAPI (the Windows
// build; see publisher_crypto.h). CryptoAPI keeps keys as little-endian blobs and writes
// signatures little-endian: the DER of keys goes through CryptDecodeObjectEx and
// CryptEncodeObjectEx (a new private key through RsaPrivateKeyFromBlob), and signatures
// are reversed to the big-endian order of PKCS#1.
// The C++ headers come first: common/win32.h poisons names that <cstdio> still mentions.
#include <algorithm>
#include <string>

#include "tools/cvpublish/key_encoding.h"
#include "tools/cvpublish/publisher_crypto.h"

#include "common/win32.h"

#include <wincrypt.h>

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// AlgorithmIdentifier parameters of an RSA key: an ASN.1 NULL.
const BYTE kNullParameters[] = {0x05, 0x00};

// A provider with SHA-256 (PROV_RSA_AES); its keys live only as long as it does.
class Provider {
public:
    Provider() {
        if (!CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            handle = 0;
    }
    ~Provider() {
        if (handle != 0) CryptReleaseContext(handle, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV handle = 0;
};

class Key {
public:
    ~Key() {
        if (handle != 0) CryptDestroyKey(handle);
    }
    HCRYPTKEY handle = 0;
};

class Hash {
public:
    ~Hash() {
        if (handle != 0) CryptDestroyHash(handle);
    }
    HCRYPTHASH handle = 0;
};

// What CryptDecodeObjectEx allocated.
class Decoded {
public:
    ~Decoded() { LocalFree(data); }
    void* data = nullptr;
    DWORD size = 0;
};

std::string LibraryProblem(const char* what) {
    char code[16];
    FormatDecimal(code, sizeof code, static_cast<long long>(GetLastError()));
    return std::string(what) + " (error " + code + ")";
}

const BYTE* Bytes(const std::string& text) { return reinterpret_cast<const BYTE*>(text.data()); }

bool EncodeObject(LPCSTR type, const void* structure, std::string* der) {
    DWORD size = 0;
    if (!CryptEncodeObjectEx(kEncoding, type, structure, 0, nullptr, nullptr, &size)) return false;
    der->assign(size, '\0');
    if (!CryptEncodeObjectEx(kEncoding, type, structure, 0, nullptr, &(*der)[0], &size))
        return false;
    der->resize(size);
    return true;
}

bool DecodeObject(LPCSTR type, const std::string& der, Decoded* decoded) {
    return CryptDecodeObjectEx(kEncoding, type, Bytes(der), static_cast<DWORD>(der.size()),
                               CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded->data,
                               &decoded->size) != FALSE;
}

bool ExportKey(HCRYPTKEY key, DWORD blobType, std::string* blob) {
    DWORD size = 0;
    if (!CryptExportKey(key, 0, blobType, 0, nullptr, &size)) return false;
    blob->assign(size, '\0');
    if (!CryptExportKey(key, 0, blobType, 0, reinterpret_cast<BYTE*>(&(*blob)[0]), &size))
        return false;
    blob->resize(size);
    return true;
}

bool ImportPrivateKey(const Provider& provider, const std::string& rsaPrivateKey, Key* key,
                      std::string* problem) {
    Decoded blob;
    if (!DecodeObject(PKCS_RSA_PRIVATE_KEY, rsaPrivateKey, &blob)) {
        *problem = LibraryProblem("not an RSA private key");
        return false;
    }
    if (!CryptImportKey(provider.handle, static_cast<const BYTE*>(blob.data), blob.size, 0, 0,
                        &key->handle)) {
        *problem = LibraryProblem("the private key cannot be used");
        return false;
    }
    return true;
}

// The SubjectPublicKeyInfo of a key: its PUBLICKEYBLOB as PKCS#1 RSAPublicKey, wrapped.
bool EncodePublicKeyInfo(HCRYPTKEY key, std::string* publicKeyInfo) {
    std::string blob, rsaPublicKey;
    if (!ExportKey(key, PUBLICKEYBLOB, &blob) ||
        !EncodeObject(RSA_CSP_PUBLICKEYBLOB, blob.data(), &rsaPublicKey))
        return false;
    CERT_PUBLIC_KEY_INFO info = {};
    info.Algorithm.pszObjId = const_cast<LPSTR>(szOID_RSA_RSA);
    info.Algorithm.Parameters.cbData = sizeof kNullParameters;
    info.Algorithm.Parameters.pbData = const_cast<BYTE*>(kNullParameters);  // only read
    info.PublicKey.cbData = static_cast<DWORD>(rsaPublicKey.size());
    info.PublicKey.pbData = reinterpret_cast<BYTE*>(&rsaPublicKey[0]);
    return EncodeObject(X509_PUBLIC_KEY_INFO, &info, publicKeyInfo);
}

bool HashBytes(const Provider& provider, const std::string& bytes, Hash* hash) {
    return CryptCreateHash(provider.handle, CALG_SHA_256, 0, 0, &hash->handle) &&
           CryptHashData(hash->handle, Bytes(bytes), static_cast<DWORD>(bytes.size()), 0);
}

// Whether a signature (little-endian, as long as the modulus) is below the key's modulus,
// as every signature of that key is. CryptoAPI's verdict on a larger value varies (Wine's
// reports a failure of its own, not a bad signature), so it is decided here. True when the
// modulus cannot be read: CryptoAPI then decides alone.
bool BelowModulus(HCRYPTKEY key, const std::string& reversed) {
    DWORD size = 0;
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size)) return true;
    std::string blob(size, '\0');
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(&blob[0]), &size))
        return true;
    const size_t header = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    if (size < header + reversed.size()) return true;
    const unsigned char* modulus = reinterpret_cast<const unsigned char*>(blob.data()) + header;
    for (size_t i = reversed.size(); i-- > 0;) {
        unsigned char digit = static_cast<unsigned char>(reversed[i]);
        if (digit != modulus[i]) return digit < modulus[i];
    }
    return false;
}

}  // namespace

struct Sha256Stream::State {
    Provider provider;
    Hash hash;
    bool usable = false;
};

Sha256Stream::Sha256Stream() : state(new State) {
    state->usable =
        state->provider.handle != 0 &&
        CryptCreateHash(state->provider.handle, CALG_SHA_256, 0, 0, &state->hash.handle);
}

Sha256Stream::~Sha256Stream() { delete state; }

bool Sha256Stream::Update(const void* data, size_t length) {
    // CryptHashData takes at most a DWORD's worth at once.
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (state->usable && length > 0) {
        DWORD piece = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
        state->usable = CryptHashData(state->hash.handle, bytes, piece, 0) != FALSE;
        bytes += piece;
        length -= piece;
    }
    return state->usable;
}

bool Sha256Stream::Finish(Sha256Digest& digest) {
    DWORD size = kSha256Size;
    bool finished = state->usable &&
                    CryptGetHashParam(state->hash.handle, HP_HASHVAL, digest.bytes, &size, 0) &&
                    size == kSha256Size;
    state->usable = false;
    return finished;
}

bool GenerateRsaKey(unsigned bits, std::string* rsaPrivateKey, std::string* problem) {
    Provider provider;
    Key key;
    std::string blob;
    if (provider.handle == 0 ||
        !CryptGenKey(provider.handle, AT_SIGNATURE, (bits << 16) | CRYPT_EXPORTABLE, &key.handle) ||
        !ExportKey(key.handle, PRIVATEKEYBLOB, &blob) ||
        !RsaPrivateKeyFromBlob(blob, rsaPrivateKey)) {
        *problem = LibraryProblem("no RSA key could be made");
        return false;
    }
    return true;
}

bool PublicKeyOf(const std::string& rsaPrivateKey, std::string* publicKeyInfo,
                 std::string* problem) {
    Provider provider;
    Key key;
    if (!ImportPrivateKey(provider, rsaPrivateKey, &key, problem)) return false;
    if (!EncodePublicKeyInfo(key.handle, publicKeyInfo)) {
        *problem = LibraryProblem("the public key could not be encoded");
        return false;
    }
    return true;
}

bool SignSha256(const std::string& rsaPrivateKey, const std::string& bytes, std::string* signature,
                std::string* problem) {
    Provider provider;
    Key key;
    if (!ImportPrivateKey(provider, rsaPrivateKey, &key, problem)) return false;
    // The key decoded from PKCS#1 is an exchange key; CryptSignHash signs with the key of
    // the kind it names.
    Hash hash;
    DWORD size = 0;
    bool signedBytes = HashBytes(provider, bytes, &hash) &&
                       CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0, nullptr, &size);
    if (signedBytes) {
        signature->assign(size, '\0');
        signedBytes = CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0,
                                     reinterpret_cast<BYTE*>(&(*signature)[0]), &size) != FALSE;
        signature->resize(size);
        std::reverse(signature->begin(), signature->end());
    }
    if (!signedBytes) *problem = LibraryProblem("signing failed");
    return signedBytes;
}

SignatureVerdict VerifySha256(const std::string& publicKeyInfo, const std::string& bytes,
                              const std::string& signature, std::string* problem) {
    Provider provider;
    Decoded info;
    Key key;
    DWORD bits = 0, size = sizeof bits;
    if (provider.handle == 0 || !DecodeObject(X509_PUBLIC_KEY_INFO, publicKeyInfo, &info) ||
        strcmp(static_cast<CERT_PUBLIC_KEY_INFO*>(info.data)->Algorithm.pszObjId, szOID_RSA_RSA) !=
            0 ||
        !CryptImportPublicKeyInfo(provider.handle, X509_ASN_ENCODING,
                                  static_cast<CERT_PUBLIC_KEY_INFO*>(info.data), &key.handle) ||
        !CryptGetKeyParam(key.handle, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0)) {
        *problem = LibraryProblem("not an RSA public key");
        return SignatureVerdict::Unusable;
    }
    if (signature.size() != (bits + 7) / 8) return SignatureVerdict::Invalid;
    std::string reversed(signature.rbegin(), signature.rend());
    if (!BelowModulus(key.handle, reversed)) return SignatureVerdict::Invalid;
    Hash hash;
    if (!HashBytes(provider, bytes, &hash)) {
        *problem = LibraryProblem("SHA-256 is not available");
        return SignatureVerdict::Unusable;
    }
    if (CryptVerifySignatureA(hash.handle, Bytes(reversed), static_cast<DWORD>(reversed.size()),
                              key.handle, nullptr, 0))
        return SignatureVerdict::Valid;
    if (GetLastError() == static_cast<DWORD>(NTE_BAD_SIGNATURE)) return SignatureVerdict::Invalid;
    *problem = LibraryProblem("the signature could not be checked");
    return SignatureVerdict::Unusable;
}
