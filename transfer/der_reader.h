// A cursor over DER bytes, for the publisher's keys: elements with definite lengths in
// their shortest form, of up to four length bytes. Every read stays within [at, end).
#pragma once

#include <stddef.h>

struct DerReader {
    const unsigned char* at;
    const unsigned char* end;

    // Reads one element with the given tag: contents is its body, and the cursor moves
    // past it. False, cursor unmoved, for another tag, a length that is not DER's or one
    // that runs past the end.
    bool Read(unsigned char tag, DerReader& contents);
    bool AtEnd() const { return at == end; }
    size_t Size() const { return static_cast<size_t>(end - at); }
};
