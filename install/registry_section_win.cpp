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

// Creates or opens the key and writes the value. Without elevation a key under
// HKEY_LOCAL_MACHINE either cannot be created or opens for reading only, so that the
// value write is what fails.
RegistrySectionResult WriteValue(const RegistryLine& line) {
    HKEY key;
    if (RegCreateKeyA(RootKey(line.root), line.subkey, &key) != ERROR_SUCCESS)
        return RegistrySectionResult::KeyNotWritable;
    LONG written;
    if (line.isNumber) {
        DWORD number = line.number;
        written = RegSetValueExA(key, line.valueName, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&number), sizeof number);
    } else {
        written =
            RegSetValueExA(key, line.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(line.data),
                           static_cast<DWORD>(strlen(line.data)) + 1);
    }
    RegCloseKey(key);
    return written == ERROR_SUCCESS ? RegistrySectionResult::Applied
                                    : RegistrySectionResult::ValueNotWritten;
}

// Writes the lines of a section read into text (count characters as the profile
// functions returned them) until one cannot be applied.
RegistrySectionResult ApplyLines(char* text, DWORD count) {
    // A section that does not fit comes back as size-2 characters with its last line cut;
    // that line would write wrong data, so it is left out and the section counts as failed.
    const char* end = text + (count < registrySectionBufferSize ? count : 0);
    bool cut = count >= registrySectionBufferSize - 2;
    for (char* at = text; at < end && *at != '\0';) {
        char* next = at + strlen(at) + 1;
        if (cut && next >= end) return RegistrySectionResult::SectionTooLarge;
        RegistryLine line = ParseRegistryLine(at);
        if (line.kind == RegistryLineKind::Stop) return RegistrySectionResult::UnknownRoot;
        if (line.kind == RegistryLineKind::Write) {
            RegistrySectionResult written = WriteValue(line);
            if (written != RegistrySectionResult::Applied) return written;
        }
        at = next;
    }
    return RegistrySectionResult::Applied;
}

}  // namespace

RegistrySectionResult ApplyRegistrySection(const char* descriptionPath, const char* reference) {
    RegistrySource source;
    if (!SplitRegistryReference(reference, descriptionPath, &source))
        return RegistrySectionResult::NoSection;
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, registrySectionBufferSize));
    // Out of memory: nothing of the section can be written.
    if (text == nullptr) return RegistrySectionResult::KeyNotWritable;
    // The lines are read raw: %name% in registry data is written as it stands.
    DWORD count =
        GetPrivateProfileSectionA(source.section, text, registrySectionBufferSize, source.file);
    RegistrySectionResult result =
        count > 0 ? ApplyLines(text, count) : RegistrySectionResult::NoSection;
    HeapFree(GetProcessHeap(), 0, text);
    return result;
}
