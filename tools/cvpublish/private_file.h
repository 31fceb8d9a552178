// A new file that only its owner may read: where keygen keeps a private key.
#pragma once

#include <string>

// Creates path, which must not exist yet, readable and writable by the current user only,
// and writes bytes into it. False, with the reason, when it exists or cannot be written
// (a file that was begun is removed again).
bool WritePrivateFile(const char* path, const std::string& bytes, std::string* problem);
