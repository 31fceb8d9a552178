// Reading the publisher's key files (see key_file.h).
#include "tools/cvpublish/key_file.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "tools/cvpublish/publisher_crypto.h"
#include "transfer/base64.h"
#include "transfer/publisher_key.h"

bool ReadKeyFile(const char* path, KeyFileContents* key, std::string* problem) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        *problem = "cannot be read";
        return false;
    }
    std::vector<char> text(kMaxKeyFileSize + 1);
    size_t length = fread(text.data(), 1, text.size(), file);
    bool read = !ferror(file);
    fclose(file);
    if (!read || length > kMaxKeyFileSize) {
        *problem = read ? "is too large for a key file" : "cannot be read";
        return false;
    }
    return ReadKeyPem(std::string(text.data(), length), key, problem);
}

bool ReadPublicKeyFile(const char* path, std::string* publicKeyInfo, std::string* problem) {
    KeyFileContents key;
    if (!ReadKeyFile(path, &key, problem)) return false;
    if (key.kind == KeyKind::Public) {
        *publicKeyInfo = key.der;
        return true;
    }
    return PublicKeyOf(key.der, publicKeyInfo, problem);
}

bool FormatPublisherKey(const std::string& publicKeyInfo, std::string* text) {
    std::vector<char> base64(publicKeyInfo.size() / 3 * 4 + 5);
    if (!Base64Encode(publicKeyInfo.data(), publicKeyInfo.size(), standardBase64Alphabet,
                      base64.data(), base64.size()))
        return false;
    // The installer's own test of the key, so that the line printed is one it takes.
    PublisherKey parsed;
    if (strlen(base64.data()) >= kPublisherKeyTextSize || !ParsePublisherKey(base64.data(), parsed))
        return false;
    *text = base64.data();
    return true;
}
