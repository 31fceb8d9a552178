// Profile reads of description files: text values with %name% substitution, numbers,
// and string sections loaded into the string table.
#pragma once

#include "common/limits.h"
#include "common/win32.h"

// ReadValue reads at most kMaxRawValue before substitution; a larger output buffer still
// receives the whole expansion of a value cut to that size minus one. A string section
// is read into kStringSectionBufferSize; a longer section is cut.

// Reads key of section (or defaultText when it is missing), cut to size-1 characters,
// and writes its substitution into out, again within size. Returns out.
char* ReadValue(const char* section, const char* key, const char* defaultText, char* out,
                size_t size, const char* path);

// Puts section of the file at the front of the string table. Returns false when the
// section is missing or empty (or could not be stored).
bool AddStringSection(const char* section, const char* path);

// The decimal value of key, or defaultValue when it is missing. No substitution.
int ReadInt(const char* section, const char* key, int defaultValue, const char* path);
