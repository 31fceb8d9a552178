// Reads text values of the registry: the one reader of REG_SZ values, bounded.
#pragma once

#include "common/win32.h"

// The longest value ReadRegistryText reads, terminator included; a larger one fails.
constexpr size_t kRegistryTextLimit = 1024;

// Reads the text value name of an open key into out (size bytes, always terminated):
// REG_SZ or REG_EXPAND_SZ (not expanded), up to its first NUL, which the stored value
// need not hold. False, out empty, when the value is missing, of another type, or does
// not fit. An empty value is read (true): callers that need a text check out[0].
bool ReadRegistryText(HKEY key, const char* name, char* out, size_t size);

// The same for the value of root\path, which is opened for reading only.
bool ReadRegistryText(HKEY root, const char* path, const char* name, char* out, size_t size);
