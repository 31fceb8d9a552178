// SHA-256 and signature checks through CryptoAPI (see authenticity_win.h).
#include "transfer/authenticity_win.h"

namespace {

// Files are hashed in blocks of this size.
const DWORD fileBlockSize = 64 * 1024;

template <typename Proc>
bool Lookup(HMODULE module, const char* name, Proc& proc) {
    // FARPROC stands for any export; going through void* says so without a warning.
    proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return proc != nullptr;
}

// Windows 95 before its second release and NT 4.0 before its service packs have no
// CryptoAPI at all.
bool LoadCryptoApi(CryptoApi& api) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    bool found = advapi != nullptr && Lookup(advapi, "CryptAcquireContextA", api.acquireContext) &&
                 Lookup(advapi, "CryptReleaseContext", api.releaseContext) &&
                 Lookup(advapi, "CryptCreateHash", api.createHash) &&
                 Lookup(advapi, "CryptHashData", api.hashData) &&
                 Lookup(advapi, "CryptGetHashParam", api.getHashParam) &&
                 Lookup(advapi, "CryptDestroyHash", api.destroyHash) &&
                 Lookup(advapi, "CryptImportKey", api.importKey) &&
                 Lookup(advapi, "CryptDestroyKey", api.destroyKey) &&
                 Lookup(advapi, "CryptVerifySignatureA", api.verifySignature);
    if (!found) api = CryptoApi();
    return found;
}

bool AcquireProvider(const CryptoApi& api, HCRYPTPROV& provider) {
    return api.acquireContext(&provider, nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT) != FALSE;
}

// The key blob of a public RSA key: a header, then the modulus in little-endian order.
struct PublicKeyBlob {
    BLOBHEADER header;
    RSAPUBKEY rsa;
    BYTE modulus[kMaxModulusSize];
};

bool ImportKey(const CryptoApi& api, HCRYPTPROV provider, const PublisherKey& key,
               HCRYPTKEY& imported) {
    PublicKeyBlob blob = {};
    blob.header.bType = PUBLICKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.aiKeyAlg = CALG_RSA_SIGN;
    blob.rsa.magic = 0x31415352;  // "RSA1": a public key
    blob.rsa.bitlen = static_cast<DWORD>(key.modulusSize) * 8;
    blob.rsa.pubexp = key.exponent;
    for (size_t i = 0; i < key.modulusSize; ++i)
        blob.modulus[i] = key.modulus[key.modulusSize - 1 - i];
    DWORD size = static_cast<DWORD>(offsetof(PublicKeyBlob, modulus) + key.modulusSize);
    return api.importKey(provider, reinterpret_cast<const BYTE*>(&blob), size, 0, 0, &imported) !=
           FALSE;
}

}  // namespace

Sha256Hash::~Sha256Hash() { Release(); }

void Sha256Hash::Release() {
    if (hash != 0) (void)api.destroyHash(hash);  // nothing more to do if it fails
    if (provider != 0) (void)api.releaseContext(provider, 0);
    hash = 0;
    provider = 0;
}

bool Sha256Hash::Start() {
    Release();
    failed = !LoadCryptoApi(api) || !AcquireProvider(api, provider) ||
             !api.createHash(provider, CALG_SHA_256, 0, 0, &hash);
    return !failed;
}

bool Sha256Hash::Add(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (!failed && size > 0) {
        DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        failed = hash == 0 || !api.hashData(hash, bytes, piece, 0);
        bytes += piece;
        size -= piece;
    }
    return !failed;
}

bool Sha256Hash::Finish(Sha256Digest& digest) {
    DWORD size = kSha256Size;
    bool ok = !failed && hash != 0 && api.getHashParam(hash, HP_HASHVAL, digest.bytes, &size, 0) &&
              size == kSha256Size;
    Release();
    return ok;
}

bool CanVerifyAuthenticity() {
    Sha256Hash probe;
    return probe.Start();
}

AuthenticityResult HandleMatchesDigest(HANDLE file, const Sha256Digest& expected) {
    Sha256Hash hash;
    if (!hash.Start()) return CannotVerify;
    LONG high = 0;
    SetLastError(NO_ERROR);
    if (SetFilePointer(file, 0, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return NotAuthentic;
    BYTE* block = static_cast<BYTE*>(malloc(fileBlockSize));
    bool ok = block != nullptr;
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(file, block, fileBlockSize, &got, nullptr) != FALSE;
        if (!ok || got == 0) break;
        ok = hash.Add(block, got);
    }
    free(block);
    Sha256Digest actual;
    if (!ok || !hash.Finish(actual)) return NotAuthentic;
    return SameDigest(actual, expected) ? Authentic : NotAuthentic;
}

AuthenticityResult FileMatchesDigest(const char* path, const Sha256Digest& expected) {
    if (!CanVerifyAuthenticity()) return CannotVerify;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return NotAuthentic;
    AuthenticityResult result = HandleMatchesDigest(file, expected);
    CloseHandle(file);
    return result;
}

AuthenticityResult VerifySignature(const PublisherKey& key, const void* data, size_t size,
                                   const unsigned char* signature, size_t signatureSize) {
    // A signature is exactly as long as the modulus.
    if (signatureSize != key.modulusSize) return NotAuthentic;
    Sha256Hash hash;
    if (!hash.Start()) return CannotVerify;
    if (!hash.Add(data, size)) return NotAuthentic;
    HCRYPTKEY imported = 0;
    const CryptoApi& api = hash.Api();
    if (!ImportKey(api, hash.Provider(), key, imported)) return CannotVerify;
    // CryptoAPI takes the signature's bytes in little-endian order.
    BYTE reversed[kMaxModulusSize];
    for (size_t i = 0; i < signatureSize; ++i) reversed[i] = signature[signatureSize - 1 - i];
    bool valid = api.verifySignature(hash.Handle(), reversed, static_cast<DWORD>(signatureSize),
                                     imported, nullptr, 0) != FALSE;
    (void)api.destroyKey(imported);  // nothing more to do if it fails
    return valid ? Authentic : NotAuthentic;
}
