// A publisher's key pair made for a test, and packages signed with it, through the
// platform's CryptoAPI as a publisher's Windows tool would: [sha256] appended to the
// manifest and "pkginfo.sig" beside it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

class TestPublisher {
public:
    explicit TestPublisher(DWORD bits = 2048);
    ~TestPublisher();
    TestPublisher(const TestPublisher&) = delete;
    TestPublisher& operator=(const TestPublisher&) = delete;

    bool Ready() const { return key != 0; }
    // "publisherKey" as a description carries it: base64 of the DER SubjectPublicKeyInfo.
    std::string PublicKeyText() const;
    // The RSA PKCS#1 v1.5 signature with SHA-256 over bytes, big-endian as openssl writes it.
    std::string Sign(const std::string& bytes) const;

private:
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
};

// Lower-case hex SHA-256 of bytes.
std::string Sha256Hex(const std::string& bytes);

// The [sha256] section of a package published from content in parts of partSize.
std::string Sha256Section(const std::string& content, size_t partSize);

// Appends the [sha256] section of content to directory's pkginfo.txt, puts head (a
// [package] section, say) before it and signs the result into pkginfo.sig.
void SignPackage(const std::string& directory, const std::string& content, size_t partSize,
                 const TestPublisher& publisher, const std::string& head = "");
