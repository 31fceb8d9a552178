// Arithmetic and text of the download dialog's status line and progress bar.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Kilobytes as the status line shows them: (bytes + 511) / 1024, truncating, so an
// exact half rounds down (1,536 bytes show as 1K, 1,600 as 2K).
int ShownKilobytes(int bytes);

// The progress bar's range is always 0..kProgressRange, whatever the size: a range that
// fits 16 bits works with every version of the common controls.
const unsigned kProgressRange = 10000;

// The bar's position for done of total bytes, rounded down: 0 while total is unknown (-1)
// or 0, kProgressRange once done reaches total and never before. Any 64-bit sizes are
// taken; beyond 2^49 bytes the position may be one step off.
unsigned ProgressPosition(int64_t done, int64_t total);

// Copies format to out with every "%1" replaced by value; bounded by size and
// always terminated. Returns false when the result was cut.
bool ReplaceEveryPercentOne(const char* format, const char* value, char* out, size_t size);
