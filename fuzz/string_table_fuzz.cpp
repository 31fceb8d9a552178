// String sections, %name% substitution and list tokens as the description reader uses
// them. The input is a string section (entries one a line, as the profile read returns
// them with NULs), then a byte 0x01, then a value that goes through the substitution
// and the tokenizer.
#include "common/text.h"
#include "config/component_rules.h"
#include "config/string_table.h"
#include "fuzz/fuzz_support.h"

namespace {

// The sizes the reader substitutes into, and a few small ones for the cut paths.
const size_t kOutputSizes[] = {1, 2, 7, 64, 260, 1024};
const char* const kDelimiters[] = {" ,", ".", ",", "\x1B"};

// Loads a section the way the profile read hands it over: "key=value" entries ended by
// NULs, the last one followed by an extra NUL; count is the characters before that NUL.
void AddSection(const uint8_t* data, size_t length) {
    ExactBuffer text(length + 2);
    for (size_t i = 0; i < length; ++i) text.get()[i] = data[i] == '\n' ? '\0' : data[i];
    text.get()[length] = '\0';
    text.get()[length + 1] = '\0';
    AddStringSectionText(text.get(), length + 1);
}

void CheckTokens(const char* value, size_t capacity, const char* delimiters) {
    ExactBuffer list(capacity);
    memcpy(list.get(), value, capacity);
    char* cursor = list.get();
    char* const end = list.get() + strlen(list.get());
    char* previous = list.get();
    while (char* token = NextToken(&cursor, delimiters)) {
        FUZZ_CHECK(token >= previous && token < end);
        FUZZ_CHECK(token[0] != '\0');
        FUZZ_CHECK(strpbrk(token, delimiters) == nullptr);
        FUZZ_CHECK(cursor > token && cursor <= end);
        previous = cursor;
        // The tokens of NoDownloadIfFilesExist go on to the file requirement split.
        FileRequirement requirement = SplitFileRequirement(token);
        FUZZ_CHECK(requirement.fileName == token);
        if (requirement.version != nullptr) ParseRequiredVersion(requirement.version);
    }
    FUZZ_CHECK(*cursor == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputParts parts = SplitInput(data, size, 0x01);
    // Two sections: the value sees the newest definition of a name first.
    InputParts sections = SplitInput(parts.head, parts.headLength, 0x02);
    AddSection(sections.rest, sections.restLength);
    AddSection(sections.head, sections.headLength);

    FuzzText value(parts.rest, parts.restLength);
    for (size_t size : kOutputSizes) {
        ExactBuffer out(size);
        Substitute(value.get(), out.get(), size);
        FUZZ_CHECK(out.Terminated());
    }
    Substitute(value.get(), nullptr, 0);
    // A text without references comes through unchanged, cut to the room there is.
    if (strchr(value.get(), '%') == nullptr) {
        ExactBuffer out(value.capacity());
        Substitute(value.get(), out.get(), out.size());
        FUZZ_CHECK(strcmp(out.get(), value.get()) == 0);
    }
    LookUpString(value.get());
    for (const char* delimiters : kDelimiters)
        CheckTokens(value.get(), value.capacity(), delimiters);
    ParseRequiredVersion(value.get());
    ProtocolFromText(value.get());

    EmptyStringTableForTests();
    return 0;
}
