// Profile reads of description files through the Win32 profile functions.
#include "config/profile_win.h"

#include "config/string_table.h"

char* ReadValue(const char* section, const char* key, const char* defaultText, char* out,
                size_t size, const char* path) {
    if (size == 0) return out;
    if (defaultText == nullptr) defaultText = "";
    char raw[kMaxRawValue];
    size_t rawSize = size < kMaxRawValue ? size : kMaxRawValue;
    // A null section or key would make the profile read list names instead of a value.
    if (section == nullptr || key == nullptr) {
        CopyTextN(raw, rawSize, defaultText);
    } else {
        GetPrivateProfileStringA(section, key, defaultText, raw, static_cast<DWORD>(rawSize), path);
        // rawSize is at least 1: size is not 0.
        raw[rawSize - 1] = '\0';  // cppcheck-suppress negativeIndex
    }
    Substitute(raw, out, size);
    return out;
}

bool AddStringSection(const char* section, const char* path) {
    if (section == nullptr) return false;
    char text[kStringSectionBufferSize];
    DWORD count = GetPrivateProfileSectionA(section, text, sizeof text, path);
    if (count == 0) return false;
    // The count never reaches the buffer size; the text must hold count+1 characters.
    if (count > sizeof text - 1) count = sizeof text - 1;
    return AddStringSectionText(text, count);
}

int ReadInt(const char* section, const char* key, int defaultValue, const char* path) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, path));
}
