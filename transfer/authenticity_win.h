// Checks of what the publisher signed, through the platform's CryptoAPI (advapi32): the
// SHA-256 of data and files, and the RSA signature over a package's manifest. No hashing
// or signature code of our own: where the platform has no SHA-256 provider (the oldest
// systems), every check answers "unavailable" and the caller fails closed. The functions
// are looked up when needed, so that the image still starts on systems without them.
#pragma once

#include "common/win32.h"
#include "transfer/publisher_key.h"
#include "transfer/sha256_text.h"

enum AuthenticityResult {
    Authentic,
    NotAuthentic,  // a signature or digest that does not match, or a file unreadable
    CannotVerify,  // the platform has no SHA-256 provider, or refused the key
};

// A SHA-256 computed in pieces. Start fails on a platform that cannot hash with SHA-256.
// The CryptoAPI functions the checks use; all null when the system lacks any of them.
struct CryptoApi {
    decltype(&CryptAcquireContextA) acquireContext;
    decltype(&CryptReleaseContext) releaseContext;
    decltype(&CryptCreateHash) createHash;
    decltype(&CryptHashData) hashData;
    decltype(&CryptGetHashParam) getHashParam;
    decltype(&CryptDestroyHash) destroyHash;
    decltype(&CryptImportKey) importKey;
    decltype(&CryptDestroyKey) destroyKey;
    decltype(&CryptVerifySignatureA) verifySignature;
};

class Sha256Hash {
public:
    Sha256Hash() = default;
    ~Sha256Hash();
    Sha256Hash(const Sha256Hash&) = delete;
    Sha256Hash& operator=(const Sha256Hash&) = delete;

    bool Start();
    bool Add(const void* data, size_t size);
    // The digest of everything added; false when a step failed. The hash is over then.
    bool Finish(Sha256Digest& digest);
    HCRYPTHASH Handle() const { return hash; }
    // The provider the hash belongs to: a key that checks a signature over the hash must
    // be imported into the same one.
    HCRYPTPROV Provider() const { return provider; }
    const CryptoApi& Api() const { return api; }

private:
    void Release();
    CryptoApi api = {};
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool failed = false;
};

// Whether this system can check SHA-256 digests and RSA signatures at all.
bool CanVerifyAuthenticity();

// The SHA-256 of a whole file; NotAuthentic when it cannot be read.
AuthenticityResult FileMatchesDigest(const char* path, const Sha256Digest& expected);
// The same for a file already open for reading: everything it holds, read through the
// handle from its start; NotAuthentic when it cannot be read.
AuthenticityResult HandleMatchesDigest(HANDLE file, const Sha256Digest& expected);

// Whether signature (the big-endian RSA PKCS#1 v1.5 signature, as openssl writes it) is
// the key's signature with SHA-256 over data.
AuthenticityResult VerifySignature(const PublisherKey& key, const void* data, size_t size,
                                   const unsigned char* signature, size_t signatureSize);
