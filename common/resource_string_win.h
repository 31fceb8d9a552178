// Texts of the string table of a module's resources.
#pragma once

#include "common/win32.h"

// Loads string id of instance into out (size bytes, always terminated). A missing
// string leaves out empty and returns false.
bool LoadResourceString(HINSTANCE instance, unsigned id, char* out, size_t size);

template <size_t N>
inline bool LoadResourceString(HINSTANCE instance, unsigned id, char (&out)[N]) {
    return LoadResourceString(instance, id, out, N);
}
