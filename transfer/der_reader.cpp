// Reading DER elements (see der_reader.h).
#include "transfer/der_reader.h"

bool DerReader::Read(unsigned char tag, DerReader& contents) {
    if (end - at < 2 || at[0] != tag) return false;
    size_t length = at[1];
    const unsigned char* body = at + 2;
    if (length >= 0x80) {
        size_t count = length & 0x7F;
        // No indefinite length, and no zero byte where fewer length bytes would do.
        if (count == 0 || count > 4 || Size() - 2 < count || body[0] == 0) return false;
        length = 0;
        for (size_t i = 0; i < count; ++i) length = length * 256 + body[i];
        body += count;
        // The short form is required where it fits.
        if (length < 0x80) return false;
    }
    if (static_cast<size_t>(end - body) < length) return false;
    contents.at = body;
    contents.end = body + length;
    at = body + length;
    return true;
}
