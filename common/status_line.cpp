// Status-line arithmetic and the "%1" placeholder of the out-of-space message.
#include "common/status_line.h"

#include "common/text.h"

int ShownKilobytes(int bytes) {
    return static_cast<int>((static_cast<long long>(bytes) + 511) / 1024);
}

unsigned ProgressUpperBound(int size) { return static_cast<unsigned>(size / 1024) & 0xFFFFu; }

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
