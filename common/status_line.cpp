// Status-line arithmetic and the "%1" placeholder of the out-of-space message.
#include "common/status_line.h"

#include "common/text.h"

#include <stdint.h>

int ShownKilobytes(int bytes) {
    return static_cast<int>((static_cast<long long>(bytes) + 511) / 1024);
}

unsigned ProgressPosition(int64_t done, int64_t total) {
    if (total <= 0 || done <= 0) return 0;
    if (done >= total) return kProgressRange;
    // Halving both keeps the ratio to within one step and the product below 2^63.
    while (total > INT64_MAX / kProgressRange) {
        total >>= 1;
        done >>= 1;
    }
    unsigned position = static_cast<unsigned>(done * kProgressRange / total);
    // The bar is full only when the transfer is.
    return position < kProgressRange ? position : kProgressRange - 1;
}

bool ReplaceEveryPercentOne(const char* format, const char* value, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    bool whole = true;
    char one[2] = {0, 0};
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == '1') {
            whole = AppendTextN(out, size, value) && whole;
            ++p;
            continue;
        }
        one[0] = *p;
        whole = AppendTextN(out, size, one) && whole;
    }
    return whole;
}
