// The publisher's key files as the signing commands read them: PEM, a private key (what
// keygen writes, or openssl's) or a public key.
#pragma once

#include <string>

#include "tools/cvpublish/key_encoding.h"

// Reads the key at path; false, with the reason, when it cannot be read or holds no key.
bool ReadKeyFile(const char* path, KeyFileContents* key, std::string* problem);

// The public key of a key file holding either half, as SubjectPublicKeyInfo DER.
bool ReadPublicKeyFile(const char* path, std::string* publicKeyInfo, std::string* problem);

// What a description's publisherKey carries for that public key: its DER in base64, one
// line. False when the installer would refuse the key (not RSA of 2048 to 4096 bits...).
bool FormatPublisherKey(const std::string& publicKeyInfo, std::string* text);
