// What a text value of the registry holds (see registry_text.h).
#include "common/registry_text.h"

#include <string.h>

#include "common/text.h"

bool TakeRegistryText(uint32_t type, const unsigned char* bytes, size_t length, char* out,
                      size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (type != registryTextType && type != registryExpandTextType) return false;
    const char* text = reinterpret_cast<const char*>(bytes);
    size_t count = BoundedLength(text, length);
    if (count >= size) return false;
    memmove(out, text, count);
    out[count] = '\0';
    return true;
}
