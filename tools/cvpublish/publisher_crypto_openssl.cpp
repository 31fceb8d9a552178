// The publisher's keys, hashes and signatures through OpenSSL's libcrypto (the Linux build;
// see publisher_crypto.h).
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "tools/cvpublish/publisher_crypto.h"

namespace {

std::string LibraryProblem(const char* what) {
    char detail[256] = "";
    unsigned long error = ERR_get_error();
    if (error != 0) ERR_error_string_n(error, detail, sizeof detail);
    ERR_clear_error();
    return std::string(what) + (error != 0 ? std::string(" (") + detail + ")" : "");
}

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

EVP_PKEY* ReadPrivateKey(const std::string& rsaPrivateKey, std::string* problem) {
    const unsigned char* cursor = Bytes(rsaPrivateKey);
    EVP_PKEY* key =
        d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(rsaPrivateKey.size()));
    if (key == nullptr) *problem = LibraryProblem("not an RSA private key");
    return key;
}

// The DER of a key by one of OpenSSL's i2d functions.
template <typename Encoder>
bool Encode(Encoder encode, EVP_PKEY* key, std::string* der) {
    int length = encode(key, nullptr);
    if (length <= 0) return false;
    der->assign(static_cast<size_t>(length), '\0');
    unsigned char* cursor = reinterpret_cast<unsigned char*>(&(*der)[0]);
    return encode(key, &cursor) == length;
}

}  // namespace

struct Sha256Stream::State {
    EVP_MD_CTX* context;
    bool usable;
};

Sha256Stream::Sha256Stream() : state(new State) {
    state->context = EVP_MD_CTX_new();
    state->usable =
        state->context != nullptr && EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) == 1;
}

Sha256Stream::~Sha256Stream() {
    EVP_MD_CTX_free(state->context);
    delete state;
}

bool Sha256Stream::Update(const void* data, size_t length) {
    state->usable = state->usable && EVP_DigestUpdate(state->context, data, length) == 1;
    return state->usable;
}

bool Sha256Stream::Finish(Sha256Digest& digest) {
    unsigned int length = 0;
    bool finished = state->usable &&
                    EVP_DigestFinal_ex(state->context, digest.bytes, &length) == 1 &&
                    length == kSha256Size;
    state->usable = false;
    return finished;
}

bool GenerateRsaKey(unsigned bits, std::string* rsaPrivateKey, std::string* problem) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    EVP_PKEY* key = nullptr;
    bool made = context != nullptr && EVP_PKEY_keygen_init(context) == 1 &&
                EVP_PKEY_CTX_set_rsa_keygen_bits(context, static_cast<int>(bits)) == 1 &&
                EVP_PKEY_keygen(context, &key) == 1;
    // For an RSA key, i2d_PrivateKey writes PKCS#1 RSAPrivateKey.
    bool encoded = made && Encode(i2d_PrivateKey, key, rsaPrivateKey);
    if (!encoded) *problem = LibraryProblem("no RSA key could be made");
    EVP_PKEY_free(key);
    EVP_PKEY_CTX_free(context);
    return encoded;
}

bool PublicKeyOf(const std::string& rsaPrivateKey, std::string* publicKeyInfo,
                 std::string* problem) {
    EVP_PKEY* key = ReadPrivateKey(rsaPrivateKey, problem);
    if (key == nullptr) return false;
    bool encoded = Encode(i2d_PUBKEY, key, publicKeyInfo);
    if (!encoded) *problem = LibraryProblem("the public key could not be encoded");
    EVP_PKEY_free(key);
    return encoded;
}

bool SignSha256(const std::string& rsaPrivateKey, const std::string& bytes, std::string* signature,
                std::string* problem) {
    EVP_PKEY* key = ReadPrivateKey(rsaPrivateKey, problem);
    if (key == nullptr) return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size_t length = 0;
    bool signedBytes = context != nullptr &&
                       EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                       EVP_DigestSign(context, nullptr, &length, Bytes(bytes), bytes.size()) == 1;
    if (signedBytes) {
        signature->assign(length, '\0');
        signedBytes = EVP_DigestSign(context, reinterpret_cast<unsigned char*>(&(*signature)[0]),
                                     &length, Bytes(bytes), bytes.size()) == 1;
        signature->resize(length);
    }
    if (!signedBytes) *problem = LibraryProblem("signing failed");
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return signedBytes;
}

SignatureVerdict VerifySha256(const std::string& publicKeyInfo, const std::string& bytes,
                              const std::string& signature, std::string* problem) {
    const unsigned char* cursor = Bytes(publicKeyInfo);
    EVP_PKEY* key = d2i_PUBKEY(nullptr, &cursor, static_cast<long>(publicKeyInfo.size()));
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        *problem = LibraryProblem("not an RSA public key");
        EVP_PKEY_free(key);
        return SignatureVerdict::Unusable;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) {
        *problem = "no memory";
        EVP_PKEY_free(key);
        return SignatureVerdict::Unusable;
    }
    // 0 is a signature that does not match; below 0 a failure, and a signature of the wrong
    // length is reported that way too: both refuse this signature.
    int result = EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1
                     ? EVP_DigestVerify(context, Bytes(signature), signature.size(), Bytes(bytes),
                                        bytes.size())
                     : -1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    ERR_clear_error();
    return result == 1 ? SignatureVerdict::Valid : SignatureVerdict::Invalid;
}
