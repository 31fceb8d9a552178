// Keys, SHA-256 and signatures for the publisher tool, through the platform's own library:
// OpenSSL's libcrypto on Linux (publisher_crypto_openssl.cpp), CryptoAPI in the Windows build
// (publisher_crypto_win.cpp). Keys cross this interface as DER: the private key as PKCS#1
// RSAPrivateKey, the public key as SubjectPublicKeyInfo; signatures are RSA PKCS#1 v1.5
// over SHA-256, big-endian, as long as the modulus. PEM is the caller's (key_encoding.h).
#pragma once

#include <stddef.h>

#include <string>

#include "transfer/sha256_text.h"

// A SHA-256 digest computed piece by piece.
class Sha256Stream {
public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    // False once the library failed; Finish then fails too.
    bool Update(const void* data, size_t length);
    // The digest of everything updated; the hash cannot be used afterwards.
    bool Finish(Sha256Digest& digest);

private:
    struct State;
    State* state;
};

// A new RSA key of bits bits.
bool GenerateRsaKey(unsigned bits, std::string* rsaPrivateKey, std::string* problem);

// The public half of a private key.
bool PublicKeyOf(const std::string& rsaPrivateKey, std::string* publicKeyInfo,
                 std::string* problem);

// Signs SHA-256 of the bytes with the private key.
bool SignSha256(const std::string& rsaPrivateKey, const std::string& bytes, std::string* signature,
                std::string* problem);

enum class SignatureVerdict { Valid, Invalid, Unusable };

// Checks a signature over the bytes; Unusable (problem set) when the key is no RSA public
// key the library accepts or the library fails.
SignatureVerdict VerifySha256(const std::string& publicKeyInfo, const std::string& bytes,
                              const std::string& signature, std::string* problem);
