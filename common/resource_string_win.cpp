// Texts of the string table of a module's resources (see resource_string_win.h).
#include "common/resource_string_win.h"

bool LoadResourceString(HINSTANCE instance, unsigned id, char* out, size_t size) {
    if (size == 0) return false;
    int limit = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    if (LoadStringA(instance, id, out, limit) > 0) return true;
    out[0] = '\0';
    return false;
}
