// "extract": writes every payload record as a file under a directory.
#include <string.h>

#include <filesystem>
#include <system_error>

#include "common/text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/payload_file.h"

namespace {

bool CreateDirectories(const char* path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error;
}

// The directory part of path (up to its last slash), created with its parents.
bool CreateParentOf(const char* path) {
    const char* slash = strrchr(path, '/');
    if (slash == nullptr || slash == path) return true;
    char parent[kToolPathSize];
    CopyTextPrefixN(parent, sizeof parent, path, static_cast<size_t>(slash - path));
    return CreateDirectories(parent);
}

bool WriteRecordFile(void* context, PayloadFile* payload, const PayloadRecord& record) {
    const char* directory = static_cast<const char*>(context);
    char path[kToolPathSize];
    if (!CopyText(path, directory) || !AppendText(path, "/") || !AppendText(path, record.name)) {
        fprintf(stderr, "cvpublish: path too long for %s\n", record.name);
        return false;
    }
    // Records name subdirectories with backslashes; a slash works on both systems.
    for (char* p = path + strlen(directory); *p != '\0'; ++p)
        if (*p == '\\') *p = '/';
    FILE* output = nullptr;
    if (CreateParentOf(path)) output = fopen(path, "wb");
    if (output == nullptr) {
        fprintf(stderr, "cvpublish: cannot create %s\n", path);
        return false;
    }
    bool copied = SeekFile(payload->file, record.contentOffset) &&
                  CopyBytes(payload->file, output, record.contentSize);
    copied = fclose(output) == 0 && copied;
    if (!copied) {
        fprintf(stderr, "cvpublish: cannot write %s\n", path);
        return false;
    }
    printf("%s\n", path);
    return true;
}

}  // namespace

int RunExtract(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: cvpublish extract EXE DIR\n");
        return kExitUsage;
    }
    PayloadFile exe;
    if (!OpenPayloadFile(argv[0], "rb", &exe)) return kExitFailure;
    // The whole payload is checked before the first file is written, so a damaged or
    // unsafe payload leaves nothing behind.
    bool extracted = WalkPayload(&exe, nullptr, nullptr);
    if (extracted && !CreateDirectories(argv[1])) {
        fprintf(stderr, "cvpublish: cannot create %s\n", argv[1]);
        extracted = false;
    }
    if (extracted) extracted = WalkPayload(&exe, WriteRecordFile, argv[1]);
    if (extracted && exe.trailer.state == TrailerAbsent) printf("no payload\n");
    ClosePayloadFile(&exe);
    return extracted ? kExitSuccess : kExitFailure;
}
