// What a text value of the registry holds, decided on its raw bytes: the value's type
// and bytes are not trusted to be a terminated text.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The registry's value types, as the platform numbers them.
constexpr uint32_t registryTextType = 1;        // REG_SZ
constexpr uint32_t registryExpandTextType = 2;  // REG_EXPAND_SZ
constexpr uint32_t registryBinaryType = 3;      // REG_BINARY
constexpr uint32_t registryNumberType = 4;      // REG_DWORD

// Takes a text value (REG_SZ or REG_EXPAND_SZ, the latter not expanded) of length bytes:
// its characters up to the first NUL, which need not be there. False (out empty) for
// another type or a text that does not fit size with its terminator. An empty text is
// taken.
bool TakeRegistryText(uint32_t type, const unsigned char* bytes, size_t length, char* out,
                      size_t size);
