// Arithmetic and text of the download dialog's status line and progress bar.
#pragma once

#include <stddef.h>

// Kilobytes as the status line shows them: (bytes + 511) / 1024, truncating, so an
// exact half rounds down (1,536 bytes show as 1K, 1,600 as 2K).
int ShownKilobytes(int bytes);

// Upper bound of the progress bar's range for a transfer of size bytes: the low 16
// bits of size / 1024 (a size of -1, "unknown", gives 0).
unsigned ProgressUpperBound(int size);

// Copies format to out with every "%1" replaced by value; bounded by size and
// always terminated. Returns false when the result was cut.
bool ReplaceEveryPercentOne(const char* format, const char* value, char* out, size_t size);
