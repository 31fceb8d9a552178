// Writes the registry values a section of registry lines names, line by line.
#include "install/registry_section_win.h"

#include "common/win32.h"
#include "install/registry_line.h"

namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    }
    return HKEY_CURRENT_USER;
}

// Creates or opens the key and writes the value; false when the key cannot be had. A
// value that cannot be written is passed over.
bool WriteValue(const RegistryLine& line) {
    HKEY key;
    if (RegCreateKeyA(RootKey(line.root), line.subkey, &key) != ERROR_SUCCESS) return false;
    if (line.isNumber) {
        DWORD number = line.number;
        RegSetValueExA(key, line.valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    } else {
        RegSetValueExA(key, line.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(line.data),
                       static_cast<DWORD>(strlen(line.data)) + 1);
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

int ApplyRegistrySection(const char* descriptionPath, const char* reference) {
    RegistrySource source;
    if (!SplitRegistryReference(reference, descriptionPath, &source)) return 0;
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, registrySectionBufferSize));
    if (text == nullptr) return 0;
    // The lines are read raw: %name% in registry data is written as it stands.
    DWORD count =
        GetPrivateProfileSectionA(source.section, text, registrySectionBufferSize, source.file);
    int result = count > 0 ? 1 : 0;
    // A section that does not fit comes back as size-2 characters with its last line cut;
    // that line would write wrong data, so it is left out and the section counts as failed.
    const char* end = text + (count < registrySectionBufferSize ? count : 0);
    bool cut = count >= registrySectionBufferSize - 2;
    for (char* at = text; at < end && *at != '\0';) {
        char* next = at + strlen(at) + 1;
        if (cut && next >= end) {
            result = 0;
            break;
        }
        RegistryLine line = ParseRegistryLine(at);
        if (line.kind == RegistryLineKind::Stop ||
            (line.kind == RegistryLineKind::Write && !WriteValue(line))) {
            result = 0;
            break;
        }
        at = next;
    }
    HeapFree(GetProcessHeap(), 0, text);
    return result;
}
