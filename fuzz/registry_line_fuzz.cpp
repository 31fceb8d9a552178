// Registry sections as the installation applies them: the input's first line is the
// "registry%d" reference, the rest is the section as the profile read returns it (one
// line per entry, NUL-separated), parsed line by line until a line stops the section.
#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "install/registry_line.h"

namespace {

// The number a REG_DWORD receives, read by the C library and held at the limits.
uint32_t ExpectedNumber(const char* text) {
    long long value = strtoll(text, nullptr, 10);
    if (value > 0xFFFFFFFFll) return 0xFFFFFFFFu;
    if (value < -0x80000000ll) return 0x80000000u;
    return static_cast<uint32_t>(value);
}

bool Inside(const char* text, const char* begin, const char* end) {
    return text >= begin && text + strlen(text) < end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputParts parts = SplitInput(data, size, '\n');
    FuzzText reference(parts.head, parts.headLength);
    RegistrySource source;
    bool named = SplitRegistryReference(reference.get(), "C:\\Corvane\\setup.inf", &source);
    FUZZ_CHECK(BoundedLength(source.section, sizeof source.section) < sizeof source.section);
    FUZZ_CHECK(BoundedLength(source.file, sizeof source.file) < sizeof source.file);
    if (named)
        FUZZ_CHECK(source.section[0] != '\0' && source.file[0] != '\0');
    else
        FUZZ_CHECK(source.section[0] == '\0' && source.file[0] == '\0');

    // The section: entries separated by NULs, the last followed by an extra NUL.
    size_t count = parts.restLength < registrySectionBufferSize - 2 ? parts.restLength
                                                                    : registrySectionBufferSize - 2;
    ExactBuffer text(count + 2);
    for (size_t i = 0; i < count; ++i) text.get()[i] = parts.rest[i] == '\n' ? '\0' : parts.rest[i];
    text.get()[count] = '\0';
    text.get()[count + 1] = '\0';
    const char* end = text.get() + count + 1;
    for (char* at = text.get(); at < end && *at != '\0';) {
        char* next = at + strlen(at) + 1;
        RegistryLine line = ParseRegistryLine(at);
        if (line.kind == RegistryLineKind::Stop) break;
        if (line.kind == RegistryLineKind::Write) {
            FUZZ_CHECK(line.subkey != nullptr && line.data != nullptr);
            FUZZ_CHECK(Inside(line.subkey, at, next) && Inside(line.data, at, next));
            FUZZ_CHECK(line.subkey[0] != '\0' && line.data[0] != '\0');
            if (line.valueName != nullptr) FUZZ_CHECK(Inside(line.valueName, at, next));
            if (line.isNumber) FUZZ_CHECK(line.number == ParseRegistryNumber(line.data));
        }
        FUZZ_CHECK(ParseRegistryNumber(at) == ExpectedNumber(at));
        at = next;
    }
    return 0;
}
