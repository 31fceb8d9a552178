// Helpers shared by the fuzz targets: a check that turns a broken promise of a parser
// into a finding, the input as a text of its own exact size, and output buffers of an
// exact size, so that AddressSanitizer reports the first byte written or read past them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Stops the run as a finding when a parser breaks what its header promises.
#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                        \
        }                                                                                   \
    } while (0)

// A heap block of exactly size bytes (at least one byte is allocated, so that a size of
// zero still gives a pointer the parser must not write through).
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size)
        : bytes(static_cast<char*>(malloc(size > 0 ? size : 1))), length(size) {
        memset(bytes, 0x5A, size > 0 ? size : 1);
    }
    ~ExactBuffer() { free(bytes); }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;

    char* get() { return bytes; }
    unsigned char* bytesOf() { return reinterpret_cast<unsigned char*>(bytes); }
    size_t size() const { return length; }
    // The buffer holds a terminated text within its size.
    bool Terminated() const { return length > 0 && memchr(bytes, '\0', length) != nullptr; }

private:
    char* bytes;
    size_t length;
};

// count bytes of data as a NUL-terminated text in a block of count+1 bytes. A NUL in the
// data ends the text early, as it would for the product.
class FuzzText {
public:
    FuzzText(const uint8_t* data, size_t count) : buffer(count + 1) {
        if (count > 0) memcpy(buffer.get(), data, count);
        buffer.get()[count] = '\0';
    }
    char* get() { return buffer.get(); }
    size_t capacity() const { return buffer.size(); }

private:
    ExactBuffer buffer;
};

// Splits the input at the first occurrence of separator: the part before it and the rest
// after it (empty when the separator does not occur).
struct InputParts {
    const uint8_t* head;
    size_t headLength;
    const uint8_t* rest;
    size_t restLength;
};

inline InputParts SplitInput(const uint8_t* data, size_t size, uint8_t separator) {
    const void* found = memchr(data, separator, size);
    if (found == nullptr) return {data, size, data + size, 0};
    size_t at = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
    return {data, at, data + at + 1, size - at - 1};
}
