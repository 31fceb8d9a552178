// "add": appends files to an executable as payload records, followed by the trailer.
#include <string.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "config/profile_text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/description_check.h"
#include "tools/cvpublish/payload_file.h"

namespace {

const uint64_t kMaxPayloadFileSize = 0xFFFFFFFFu;

struct Entry {
    char file[kToolPathSize];
    char name[kMaxRecordNameLength];
    uint32_t size;
};

// Splits FILE[=NAME] at its last "=", fills the record name (slashes become backslashes)
// and measures the file. Reports and returns false when the entry cannot be used.
bool PrepareEntry(const char* argument, Entry* entry) {
    const char* equals = strrchr(argument, '=');
    size_t fileLength =
        equals != nullptr ? static_cast<size_t>(equals - argument) : strlen(argument);
    if (fileLength == 0 ||
        !CopyTextPrefixN(entry->file, sizeof entry->file, argument, fileLength)) {
        fprintf(stderr, "cvpublish: bad file argument \"%s\"\n", argument);
        return false;
    }
    const char* name = equals != nullptr ? equals + 1 : LastPathElement(entry->file);
    if (!CopyText(entry->name, name)) {
        fprintf(stderr, "cvpublish: record name \"%s\" is longer than %u bytes\n", name,
                static_cast<unsigned>(kMaxRecordNameLength - 1));
        return false;
    }
    for (char* p = entry->name; *p != '\0'; ++p)
        if (*p == '/') *p = '\\';
    if (!IsSafeRecordName(entry->name)) {
        fprintf(stderr,
                "cvpublish: record name \"%s\" is empty, absolute, has a drive or leaves its "
                "directory\n",
                entry->name);
        return false;
    }
    FILE* file = fopen(entry->file, "rb");
    long size = -1;
    if (file != nullptr && fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    if (file != nullptr) fclose(file);
    if (size < 0 || static_cast<uint64_t>(size) > kMaxPayloadFileSize) {
        fprintf(stderr, "cvpublish: cannot read %s\n", entry->file);
        return false;
    }
    entry->size = static_cast<uint32_t>(size);
    return true;
}

bool WriteRecord(FILE* output, const Entry& entry) {
    RecordHeader header;
    header.contentSize = entry.size;
    header.nameLength = static_cast<uint16_t>(strlen(entry.name) + 1);
    header.reserved = kRecordReservedValue;
    unsigned char headerBytes[kRecordHeaderSize];
    EncodeRecordHeader(header, headerBytes);
    if (fwrite(headerBytes, 1, sizeof headerBytes, output) != sizeof headerBytes ||
        fwrite(entry.name, 1, header.nameLength, output) != header.nameLength)
        return false;
    FILE* input = fopen(entry.file, "rb");
    if (input == nullptr) return false;
    bool copied = CopyBytes(input, output, entry.size);
    // A file that grew since it was measured would not match its recorded size either.
    bool atEnd = copied && fgetc(input) == EOF;
    fclose(input);
    if (!atEnd) fprintf(stderr, "cvpublish: %s changed while it was added\n", entry.file);
    return atEnd;
}

// Writes the records and the trailer at the current position of output.
bool WritePayload(FILE* output, const Entry* entries, int count, uint32_t payloadStart) {
    for (int i = 0; i < count; ++i)
        if (!WriteRecord(output, entries[i])) return false;
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(payloadStart, trailer);
    return fwrite(trailer, 1, sizeof trailer, output) == sizeof trailer;
}

// Dropping an existing payload needs a shorter file, which the C library can only make
// anew: the image and the new payload go to a temporary file that then replaces exe.
bool RewriteWithPayload(PayloadFile* exe, const Entry* entries, int count, uint32_t imageSize) {
    char temporary[kToolPathSize];
    if (!CopyText(temporary, exe->path) || !AppendText(temporary, ".cvpublish-tmp")) {
        fprintf(stderr, "cvpublish: path too long: %s\n", exe->path);
        return false;
    }
    FILE* output = fopen(temporary, "wb");
    if (output == nullptr) {
        fprintf(stderr, "cvpublish: cannot create %s\n", temporary);
        return false;
    }
    bool written = SeekFile(exe->file, 0) && CopyBytes(exe->file, output, imageSize) &&
                   WritePayload(output, entries, count, imageSize);
    written = fclose(output) == 0 && written;
    bool closed = ClosePayloadFile(exe);
    if (!written || !closed || remove(exe->path) != 0 || rename(temporary, exe->path) != 0) {
        fprintf(stderr, "cvpublish: cannot write %s\n", exe->path);
        remove(temporary);
        return false;
    }
    return true;
}

bool IsDescriptionName(const char* name) {
    size_t length = strlen(name);
    return length >= 4 && EqualsIgnoringCase(name + length - 4, ".inf");
}

// A description whose package actions would find no cvgetex.dll in the work directory
// unpacks nothing at install time: warned about here, when the payload is made.
void WarnAboutMissingExtension(const Entry* entries, int count) {
    std::vector<std::string> names(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) names[static_cast<size_t>(i)] = entries[i].name;
    for (int i = 0; i < count; ++i) {
        if (!IsDescriptionName(entries[i].name)) continue;
        FILE* file = fopen(entries[i].file, "rb");
        if (file == nullptr) continue;
        std::string text;
        char buffer[16384];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        fclose(file);
        ProfileText profile;
        profile.Parse(text.data(), text.size());
        Findings ignored;
        std::vector<NetworkComponent> network;
        DescriptionFacts facts = CheckDescription(profile, &ignored, &network, &names);
        if (facts.extensionMissing)
            fprintf(stderr,
                    "cvpublish: warning: %s:%d: %s is unpacked with %s, which this payload "
                    "does not hold and no component downloads: nothing would be unpacked; add "
                    "it (cvpublish add --replace) beside the description\n",
                    entries[i].file, facts.unpacked.front().line,
                    facts.unpacked.front().file.c_str(), kExtensionLibraryName);
    }
}

}  // namespace

int RunAdd(int argc, char** argv) {
    bool replace = argc > 0 && strcmp(argv[0], "--replace") == 0;
    if (replace) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        fprintf(stderr, "usage: cvpublish add [--replace] EXE FILE[=NAME]...\n");
        return kExitUsage;
    }
    const char* exePath = argv[0];
    int count = argc - 1;
    static Entry entries[1024];
    if (count > static_cast<int>(countof(entries))) {
        fprintf(stderr, "cvpublish: at most %u files at once\n",
                static_cast<unsigned>(countof(entries)));
        return kExitUsage;
    }
    for (int i = 0; i < count; ++i)
        if (!PrepareEntry(argv[i + 1], &entries[i])) return kExitFailure;

    PayloadFile exe;
    if (!OpenPayloadFile(exePath, "r+b", &exe)) return kExitFailure;
    // A signature covers the image as it is: appending after it breaks it, and the
    // installer reads no payload that lies after the certificate table.
    if (exe.end.signing != ImageUnsigned) {
        fprintf(stderr, "cvpublish: %s is %s; sign after adding the payload\n", exePath,
                SigningText(exe));
        ClosePayloadFile(&exe);
        return kExitFailure;
    }
    uint64_t imageSize = exe.size;
    if (exe.trailer.state != TrailerAbsent) {
        if (!replace) {
            fprintf(stderr,
                    "cvpublish: %s already carries a payload; use add --replace to replace it\n",
                    exePath);
            ClosePayloadFile(&exe);
            return kExitFailure;
        }
        if (exe.trailer.state == TrailerUnusable) {
            fprintf(stderr, "cvpublish: %s: damaged trailer, the image's end is unknown\n",
                    exePath);
            ClosePayloadFile(&exe);
            return kExitFailure;
        }
        imageSize = exe.trailer.payloadStart;
    }
    uint64_t total = imageSize + kTrailerSize;
    for (int i = 0; i < count; ++i)
        total += kRecordHeaderSize + strlen(entries[i].name) + 1 + entries[i].size;
    if (total > kMaxPayloadFileSize) {
        fprintf(stderr, "cvpublish: the result would exceed what the payload can address\n");
        ClosePayloadFile(&exe);
        return kExitFailure;
    }

    bool written;
    if (imageSize == exe.size) {
        written = fseek(exe.file, 0, SEEK_END) == 0 &&
                  WritePayload(exe.file, entries, count, static_cast<uint32_t>(imageSize));
        written = ClosePayloadFile(&exe) && written;
        if (!written)
            fprintf(stderr, "cvpublish: writing %s failed; it is left damaged\n", exePath);
    } else {
        written = RewriteWithPayload(&exe, entries, count, static_cast<uint32_t>(imageSize));
    }
    if (!written) return kExitFailure;
    WarnAboutMissingExtension(entries, count);
    for (int i = 0; i < count; ++i)
        printf("added %s as %s (%lu bytes)\n", entries[i].file, entries[i].name,
               static_cast<unsigned long>(entries[i].size));
    printf("%s: image of %lu bytes, %d payload record(s)\n", exePath,
           static_cast<unsigned long>(imageSize), count);
    return kExitSuccess;
}
