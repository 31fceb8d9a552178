// Key files as PEM text. A private key is written as PKCS#8 ("PRIVATE KEY", what openssl
// writes) and read as PKCS#8 or PKCS#1 ("RSA PRIVATE KEY"); a public key ("PUBLIC KEY") is a
// SubjectPublicKeyInfo. Only the encoding is done here; the keys themselves are the crypto
// library's (publisher_crypto.h). Pure: text in, DER out.
#pragma once

#include <stddef.h>

#include <string>

// A key file is read whole when it is at most this long.
const size_t kMaxKeyFileSize = 64 * 1024;

enum class KeyKind { Private, Public };

struct KeyFileContents {
    KeyKind kind;
    std::string der;  // Private: PKCS#1 RSAPrivateKey; Public: SubjectPublicKeyInfo
};

// Reads the first key block of a PEM text. False, with the reason, when there is none, it
// is encrypted, its base64 is broken or its PKCS#8 envelope holds no RSA key.
bool ReadKeyPem(const std::string& text, KeyFileContents* key, std::string* problem);

// A private key as PEM: PKCS#8, base64 in lines of 64 characters, "\n" line ends.
std::string WritePrivateKeyPem(const std::string& rsaPrivateKey);

// The PKCS#8 PrivateKeyInfo of an RSA key and back. Unwrap refuses anything but an
// rsaEncryption key and DER that does not add up.
std::string WrapPkcs8(const std::string& rsaPrivateKey);
bool UnwrapPkcs8(const std::string& der, std::string* rsaPrivateKey);

// The PKCS#1 RSAPrivateKey of a CryptoAPI PRIVATEKEYBLOB of an RSA key: the blob header,
// "RSA2", the bit length and public exponent, then modulus, prime1, prime2, exponent1,
// exponent2, coefficient and private exponent, little-endian. False when it is not such a
// blob. (CryptEncodeObjectEx cannot make this encoding on every system.)
bool RsaPrivateKeyFromBlob(const std::string& blob, std::string* rsaPrivateKey);
