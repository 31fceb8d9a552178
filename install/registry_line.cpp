// Registry entries as text: the section reference and the fields of one line.
#include "install/registry_line.h"

#include "common/text.h"
#include "config/string_table.h"

bool SplitRegistryReference(const char* reference, const char* descriptionPath,
                            RegistrySource* out) {
    out->section[0] = '\0';
    out->file[0] = '\0';
    if (reference == nullptr || descriptionPath == nullptr) return false;
    const char* at = strchr(reference, '@');
    size_t sectionLength = at != nullptr ? static_cast<size_t>(at - reference) : strlen(reference);
    const char* file = at != nullptr ? at + 1 : descriptionPath;
    // A cut name would read some other section or file: refuse it whole.
    bool fits = sectionLength > 0 && *file != '\0' &&
                CopyTextPrefixN(out->section, sizeof out->section, reference, sectionLength) &&
                CopyText(out->file, file);
    if (!fits) {
        out->section[0] = '\0';
        out->file[0] = '\0';
    }
    return fits;
}

namespace {

bool FindRoot(const char* name, RegistryRoot* root) {
    static const struct {
        const char* name;
        RegistryRoot root;
    } roots[] = {
        {"HKCR", RegistryRoot::ClassesRoot},
        {"HKCU", RegistryRoot::CurrentUser},
        {"HKLM", RegistryRoot::LocalMachine},
        {"HKU", RegistryRoot::Users},
    };
    if (name == nullptr) return false;
    for (const auto& entry : roots) {
        if (EqualsIgnoringCase(name, entry.name)) {
            *root = entry.root;
            return true;
        }
    }
    return false;
}

}  // namespace

RegistryLine ParseRegistryLine(char* line) {
    RegistryLine result;
    if (line[0] == ';') return result;
    char* equals = strchr(line, '=');
    if (equals == nullptr) return result;
    *equals = '\0';
    char* left = line;
    char* right = equals + 1;

    if (!FindRoot(NextToken(&left, ","), &result.root)) {
        result.kind = RegistryLineKind::Stop;
        return result;
    }
    result.subkey = NextToken(&left, ",");
    // The left side no longer holds an "=", so the value name is all that is left of
    // it, commas included.
    result.valueName = NextToken(&left, "=");
    const char* type = NextToken(&right, ",");
    // ESC does not occur in a description line: the data is the rest of the right side.
    result.data = NextToken(&right, "\x1B");
    // Without a subkey the value would land in the root key itself, and without a type
    // or data there is nothing defined to write: the line is left out.
    if (result.subkey == nullptr || type == nullptr || result.data == nullptr) return result;

    result.isNumber = ToLowerAscii(type[0]) == 'n';
    if (result.isNumber) result.number = ParseRegistryNumber(result.data);
    result.kind = RegistryLineKind::Write;
    return result;
}

uint32_t ParseRegistryNumber(const char* text) {
    while (IsBlankOrSpaceControl(*text)) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    const uint64_t limit = negative ? 0x80000000u : 0xFFFFFFFFu;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*text - '0');
        if (magnitude > limit) magnitude = limit;
    }
    uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}
