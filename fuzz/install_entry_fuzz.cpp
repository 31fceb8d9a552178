// Install entries as the install actions read them: the input's first line is the
// "install%d" entry "verb,file[,arguments]", the rest is the installer's own command
// line; the entry is split, classified and turned into the started command lines and
// the client directory paths (MAX_PATH buffers in the shell).
#include <limits.h>

#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "install/install_entry.h"

namespace {

const size_t kPathSize = 260;
const size_t kLineSizes[] = {1, 16, kPathSize};

// The target flags as the C library reads the number, held at the limits of an int.
int ExpectedFlags(const char* arguments) {
    if (arguments == nullptr) return 0;
    long long value = strtoll(arguments, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void CheckLine(bool fits, const ExactBuffer& out) {
    ExactBuffer& line = const_cast<ExactBuffer&>(out);
    FUZZ_CHECK(line.Terminated());
    if (!fits) FUZZ_CHECK(line.get()[0] == '\0');
}

void CheckDirectory(const char* text) {
    ExactBuffer path(kPathSize);
    CopyTextN(path.get(), kPathSize, text);
    TrimProgramSuffix(path.get());
    FUZZ_CHECK(path.Terminated());
    char before[kPathSize];
    CopyText(before, path.get());
    if (!EnsureTrailingBackslash(path.get(), kPathSize))
        FUZZ_CHECK(strcmp(before, path.get()) == 0);
    FUZZ_CHECK(path.Terminated());
    CopyText(before, path.get());
    if (!AppendDataDirectory(path.get(), kPathSize)) FUZZ_CHECK(strcmp(before, path.get()) == 0);
    FUZZ_CHECK(path.Terminated());
    CopyText(before, path.get());
    if (!AppendProgramDirectory(path.get(), kPathSize)) FUZZ_CHECK(strcmp(before, path.get()) == 0);
    FUZZ_CHECK(path.Terminated());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputParts parts = SplitInput(data, size, '\n');
    FuzzText entry(parts.head, parts.headLength);
    FuzzText ownLine(parts.rest, parts.restLength);
    char* const begin = entry.get();
    char* const end = begin + strlen(begin);

    InstallEntry fields;
    if (!SplitInstallEntry(entry.get(), &fields)) return 0;
    FUZZ_CHECK(fields.verb >= begin && fields.verb < end && fields.verb[0] != '\0');
    FUZZ_CHECK(fields.file > fields.verb && fields.file < end && fields.file[0] != '\0');
    FUZZ_CHECK(strchr(fields.verb, ',') == nullptr && strchr(fields.file, ',') == nullptr);
    if (fields.arguments != nullptr)
        FUZZ_CHECK(fields.arguments > fields.file && fields.arguments < end);

    ClassifyVerb(fields.verb);
    int flags = TargetFlags(fields.arguments);
    FUZZ_CHECK(flags == ExpectedFlags(fields.arguments));
    ChooseTarget(flags);
    WantsProgramSuffix(flags);
    int unpack = UnpackFlag(flags);
    FUZZ_CHECK(unpack == 0 || unpack == 1);

    for (size_t lineSize : kLineSizes) {
        ExactBuffer run(lineSize);
        CheckLine(
            BuildRunCommandLine(fields.file, fields.arguments, ownLine.get(), run.get(), lineSize),
            run);
        ExactBuffer setup(lineSize);
        CheckLine(BuildSetupCommandLine(fields.file, fields.arguments, ownLine.get(), setup.get(),
                                        lineSize),
                  setup);
    }
    const char* type = ComRegistrationType(fields.file);
    FUZZ_CHECK(strcmp(type, "ComEXE") == 0 || strcmp(type, "ComDLL") == 0);
    const char* name = FileNameWithBackslash(fields.file);
    FUZZ_CHECK(name >= fields.file && name < fields.file + strlen(fields.file) + 1);
    CheckDirectory(fields.file);
    if (fields.arguments != nullptr) CheckDirectory(fields.arguments);
    return 0;
}
