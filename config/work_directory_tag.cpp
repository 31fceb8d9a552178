// Fresh directory names and work-directory tags (see work_directory_tag.h).
#include "config/work_directory_tag.h"

#include "common/text.h"

namespace {

const char hexDigits[] = "0123456789abcdef";

void AppendHex(const unsigned char* bytes, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = hexDigits[bytes[i] >> 4];
        out[2 * i + 1] = hexDigits[bytes[i] & 0x0F];
    }
    out[2 * count] = '\0';
}

}  // namespace

void FormatWorkTag(const unsigned char* random, char (&tag)[kWorkTagDigits + 1]) {
    AppendHex(random, kWorkTagRandomBytes, tag);
}

bool WorkTagMatches(const char* marker, size_t length, const char* recordedTag) {
    if (recordedTag == nullptr || marker == nullptr) return false;
    if (BoundedLength(recordedTag, kWorkTagDigits + 1) != kWorkTagDigits) return false;
    return length == kWorkTagDigits && memcmp(marker, recordedTag, kWorkTagDigits) == 0;
}

bool BuildFreshDirectoryName(const char* parent, const char* prefix, const unsigned char* random,
                             char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    size_t parentLength = strlen(parent);
    if (parentLength == 0) return false;
    char digits[9];
    AppendHex(random, 4, digits);
    bool fits = CopyTextN(out, size, parent);
    if (fits && parent[parentLength - 1] != '\\') fits = AppendTextN(out, size, "\\");
    fits = fits && AppendTextN(out, size, prefix) && AppendTextN(out, size, digits);
    if (!fits && size > 0) out[0] = '\0';
    return fits;
}
