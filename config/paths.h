// Path text operations shared by the installer's parts; pure text, no file system.
#pragma once

#include <stddef.h>

// Writes directory, a backslash and name into output (outputSize bytes; callers pass 260)
// and returns output. When the joined path does not fit, output holds the empty text: a
// cut path would name a different file, while an empty one names none.
char* JoinPath(const char* directory, const char* name, char* output, size_t outputSize);
