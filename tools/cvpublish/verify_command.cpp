// "verify": checks a package directory as the installer will use it: every part listed in
// pkginfo.txt with its size and checksum, and total_sum over the joined parts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "common/text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/manifest_file.h"
#include "tools/cvpublish/payload_file.h"
#include "transfer/manifest.h"
#include "transfer/md5.h"

const char kVerifyUsage[] = "verify DIR";
const char kVerifyHelp[] =
    "Reads DIR/pkginfo.txt as the installer does and checks every part it lists, from\n"
    "file000.bin up to the first number missing in [files]: the part file exists, its size\n"
    "is the listed size, no larger than the first non-zero size, and its checksum is the one\n"
    "in [sums]; then total_sum against the joined parts. Prints one line per problem and\n"
    "exits with 1 when there is any, else prints a summary.";

namespace {

const size_t kReadChunk = 64 * 1024;

struct Verification {
    const char* directory;
    int problems;
    Md5 joined;           // the listed bytes of every part, as the installer joins them
    bool joinedComplete;  // false once a part could not contribute its listed size
};

void Report(Verification* verification, const char* format, const char* name, long a,
            long b = 0) {
    printf("%s/%s: ", verification->directory, name);
    // The format is one of this file's own reports, each taking a and at most b.
    // cppcheck-suppress wrongPrintfScanfArgNum
    printf(format, a, b);
    printf("\n");
    ++verification->problems;
}

bool JoinPath(char (&path)[kToolPathSize], const char* directory, const char* name) {
    return CopyText(path, directory) && AppendText(path, "/") && AppendText(path, name);
}

// Reads the manifest into list; false (reported) when it cannot be used at all.
bool ReadManifest(Verification* verification, ManifestList* list) {
    char path[kToolPathSize];
    const char* problem = JoinPath(path, verification->directory, kManifestFileName)
                              ? ReadManifestFile(path, list)
                              : "cannot be read";
    if (problem == nullptr) return true;
    printf("%s/%s: %s\n", verification->directory, kManifestFileName, problem);
    ++verification->problems;
    return false;
}

// Checks one part against its listed size and checksum and adds its listed bytes to the
// joined digest.
void VerifyPart(Verification* verification, const char* name, int32_t listedSize,
                bool hasSum, int32_t listedSum) {
    char path[kToolPathSize];
    FILE* file = JoinPath(path, verification->directory, name) ? fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        Report(verification, "missing", name, 0);
        verification->joinedComplete = false;
        return;
    }
    static unsigned char buffer[kReadChunk];
    Md5 whole;
    uint64_t size = 0;
    for (;;) {
        size_t got = fread(buffer, 1, sizeof buffer, file);
        if (got == 0) break;
        whole.Update(buffer, got);
        if (listedSize > 0 && size < static_cast<uint64_t>(listedSize)) {
            uint64_t wanted = static_cast<uint64_t>(listedSize) - size;
            verification->joined.Update(buffer, got < wanted ? got : static_cast<size_t>(wanted));
        }
        size += got;
    }
    bool readError = ferror(file) != 0;
    fclose(file);
    if (readError) {
        Report(verification, "cannot be read", name, 0);
        verification->joinedComplete = false;
        return;
    }
    if (size != static_cast<uint64_t>(listedSize < 0 ? 0 : listedSize))
        Report(verification, "size is %ld bytes, [files] lists %ld", name,
               static_cast<long>(size), static_cast<long>(listedSize));
    if (size < static_cast<uint64_t>(listedSize < 0 ? 0 : listedSize))
        verification->joinedComplete = false;
    unsigned char digest[kMd5DigestSize];
    whole.Final(digest);
    int32_t sum = PackageChecksum(digest);
    if (hasSum && sum != listedSum)
        Report(verification, "checksum is %ld, [sums] lists %ld", name, static_cast<long>(sum),
               static_cast<long>(listedSum));
}

}  // namespace

int RunVerify(int argc, char** argv) {
    if (argc == 1 && strcmp(argv[0], "--help") == 0) {
        printf("cvpublish %s\n%s\n", kVerifyUsage, kVerifyHelp);
        return kExitSuccess;
    }
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish %s\n", kVerifyUsage);
        return kExitUsage;
    }
    Verification verification;
    verification.directory = argv[0];
    verification.problems = 0;
    verification.joinedComplete = true;
    ManifestList list;
    if (!ReadManifest(&verification, &list)) return kExitFailure;

    int32_t partSize = 0;
    uint64_t total = 0;
    ListedParts parts(list);
    while (parts.Next()) {
        const char* name = parts.name;
        int32_t listedSize = parts.size;
        int32_t listedSum = 0;
        bool hasSum = list.GetValue(kSumsSection, name, &listedSum) == 0;
        if (!hasSum) Report(&verification, "no checksum in [sums]", name, 0);
        if (listedSize < 0) Report(&verification, "negative size %ld in [files]", name, listedSize);
        if (partSize == 0 && listedSize > 0) partSize = listedSize;
        if (listedSize > partSize)
            Report(&verification,
                   "listed size %ld exceeds the part size %ld (the first non-zero size)", name,
                   static_cast<long>(listedSize), static_cast<long>(partSize));
        VerifyPart(&verification, name, listedSize, hasSum, listedSum);
        if (listedSize > 0) total += static_cast<uint64_t>(listedSize);
    }

    int32_t totalSum = 0;
    unsigned char digest[kMd5DigestSize];
    verification.joined.Final(digest);
    if (list.GetValue(kSumsSection, kTotalSumKey, &totalSum) != 0)
        Report(&verification, "no total_sum in [sums]", kManifestFileName, 0);
    else if (!verification.joinedComplete)
        Report(&verification, "total_sum not checked: a part is missing or short",
               kManifestFileName, 0);
    else if (PackageChecksum(digest) != totalSum)
        Report(&verification, "total_sum is %ld, the joined parts give %ld", kManifestFileName,
               static_cast<long>(totalSum), static_cast<long>(PackageChecksum(digest)));

    if (verification.problems > 0) return kExitFailure;
    printf("%s: %u part(s), %llu bytes, all checksums match\n", verification.directory,
           parts.Count(), static_cast<unsigned long long>(total));
    return kExitSuccess;
}
