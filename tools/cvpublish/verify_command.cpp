// "verify": checks a package directory as the installer will use it: every part listed in
// pkginfo.txt with its size and checksum, and total_sum over the joined parts; for a signed
// package also each part's SHA-256 and the joined file's, and with --key the signature.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "common/text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/key_file.h"
#include "tools/cvpublish/manifest_file.h"
#include "tools/cvpublish/payload_file.h"
#include "tools/cvpublish/publisher_crypto.h"
#include "transfer/manifest.h"
#include "transfer/md5.h"
#include "transfer/sha256_text.h"

const char kVerifyUsage[] = "verify [--key KEY.pem] [--name NAME] DIR";
const char kVerifyHelp[] =
    "Reads DIR/pkginfo.txt as the installer does and checks every part it lists, from\n"
    "file000.bin up to the first number missing in [files]: the part file exists, its size\n"
    "is the listed size, no larger than the first non-zero size, and its checksum is the one\n"
    "in [sums]; then total_sum against the joined parts. A manifest with [sha256] (a signed\n"
    "package) must list every part's SHA-256 and total=, and they must match.\n"
    "--key KEY.pem (the private key or its public half): DIR/pkginfo.sig must be the key's\n"
    "signature over pkginfo.txt's exact bytes, and [sha256] must be there, as installers\n"
    "with the key's publisherKey require. Without --key the signature is not checked.\n"
    "[package] (what a signed package says it is) must have name=, a whole number in\n"
    "version= and a calendar date in expires= when they are given, and the package must not\n"
    "have expired (UTC); with --name NAME, name= must be NAME (case-insensitive), the file\n"
    "the installer asks for.\n"
    "Prints one line per problem and exits with 1 when there is any, else prints a summary.";

namespace {

const size_t kReadChunk = 64 * 1024;
// A signature is as long as the key's modulus: 512 bytes for the largest key installers take.
const size_t kMaxSignatureSize = 512;
// A [sha256] value is read whole up to a manifest line's length, then judged.
const size_t kDigestTextSize = kManifestLineLength + 1;

struct Verification {
    const char* directory;
    int problems;
    Md5 joined;           // the listed bytes of every part, as the installer joins them
    bool joinedComplete;  // false once a part could not contribute its listed size
    bool hashed;          // the manifest has [sha256]
    Sha256Stream joinedDigest;
};

void Report(Verification* verification, const char* format, const char* name, long a, long b = 0) {
    printf("%s/%s: ", verification->directory, name);
    // The format is one of this file's own reports, each taking a and at most b.
    // cppcheck-suppress wrongPrintfScanfArgNum
    printf(format, a, b);
    printf("\n");
    ++verification->problems;
}

void ReportText(Verification* verification, const char* name, const std::string& text) {
    printf("%s/%s: %s\n", verification->directory, name, text.c_str());
    ++verification->problems;
}

bool JoinPath(char (&path)[kToolPathSize], const char* directory, const char* name) {
    return CopyText(path, directory) && AppendText(path, "/") && AppendText(path, name);
}

// Reads the manifest into list and its bytes; false (reported) when it cannot be used.
bool ReadManifest(Verification* verification, ManifestList* list, std::string* bytes) {
    char path[kToolPathSize];
    const char* problem = JoinPath(path, verification->directory, kManifestFileName)
                              ? ReadManifestFile(path, list, bytes)
                              : "cannot be read";
    if (problem == nullptr) return true;
    printf("%s/%s: %s\n", verification->directory, kManifestFileName, problem);
    ++verification->problems;
    return false;
}

// The digest [sha256] lists under key; false (reported) when it is missing or malformed.
bool ListedDigest(Verification* verification, const ManifestList& list, const char* key,
                  Sha256Digest* digest) {
    char text[kDigestTextSize];
    if (!list.GetText(kSha256Section, key, text, sizeof text)) {
        ReportText(verification, kManifestFileName,
                   std::string("no ") + key + " in [" + kSha256Section + "]");
        return false;
    }
    if (!ParseSha256Hex(text, *digest)) {
        ReportText(verification, kManifestFileName,
                   std::string(key) + " in [" + kSha256Section + "] is not 64 hex digits");
        return false;
    }
    return true;
}

// Compares a computed digest with the listed one of key (when the manifest lists digests).
void CompareDigest(Verification* verification, const ManifestList& list, const char* name,
                   const char* key, bool computed, const Sha256Digest& digest) {
    Sha256Digest listed;
    if (!verification->hashed || !ListedDigest(verification, list, key, &listed)) return;
    if (!computed) {
        ReportText(verification, name, "SHA-256 could not be computed");
        return;
    }
    if (SameDigest(digest, listed)) return;
    char actual[kSha256HexLength + 1], expected[kSha256HexLength + 1];
    FormatSha256Hex(digest, actual);
    FormatSha256Hex(listed, expected);
    ReportText(verification, name,
               std::string("SHA-256 is ") + actual + ", [sha256] lists " + expected);
}

// Checks one part against its listed size, checksum and digest and adds its listed bytes to
// the joined digests.
void VerifyPart(Verification* verification, const ManifestList& list, const char* name,
                int32_t listedSize, bool hasSum, int32_t listedSum) {
    char path[kToolPathSize];
    FILE* file = JoinPath(path, verification->directory, name) ? fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        Report(verification, "missing", name, 0);
        verification->joinedComplete = false;
        return;
    }
    static unsigned char buffer[kReadChunk];
    Md5 whole;
    Sha256Stream wholeDigest;
    bool digested = true;
    uint64_t size = 0;
    for (;;) {
        size_t got = fread(buffer, 1, sizeof buffer, file);
        if (got == 0) break;
        whole.Update(buffer, got);
        digested = wholeDigest.Update(buffer, got) && digested;
        if (listedSize > 0 && size < static_cast<uint64_t>(listedSize)) {
            uint64_t wanted = static_cast<uint64_t>(listedSize) - size;
            size_t joined = got < wanted ? got : static_cast<size_t>(wanted);
            verification->joined.Update(buffer, joined);
            (void)verification->joinedDigest.Update(buffer, joined);  // Finish reports it
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
        Report(verification, "size is %ld bytes, [files] lists %ld", name, static_cast<long>(size),
               static_cast<long>(listedSize));
    if (size < static_cast<uint64_t>(listedSize < 0 ? 0 : listedSize))
        verification->joinedComplete = false;
    unsigned char digest[kMd5DigestSize];
    whole.Final(digest);
    int32_t sum = PackageChecksum(digest);
    if (hasSum && sum != listedSum)
        Report(verification, "checksum is %ld, [sums] lists %ld", name, static_cast<long>(sum),
               static_cast<long>(listedSum));
    Sha256Digest partDigest = {};
    digested = wholeDigest.Finish(partDigest) && digested;
    CompareDigest(verification, list, name, name, digested, partDigest);
}

// Reads DIR/pkginfo.sig; false (reported) when it is missing or cannot be a signature.
bool ReadSignature(Verification* verification, std::string* signature) {
    char path[kToolPathSize];
    FILE* file =
        JoinPath(path, verification->directory, kSignatureFileName) ? fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        ReportText(verification, kSignatureFileName,
                   "missing: installers with the key refuse the package");
        return false;
    }
    char bytes[kMaxSignatureSize + 1];
    size_t length = fread(bytes, 1, sizeof bytes, file);
    bool read = !ferror(file);
    fclose(file);
    if (!read || length > kMaxSignatureSize) {
        ReportText(verification, kSignatureFileName,
                   read ? "longer than any signature installers accept" : "cannot be read");
        return false;
    }
    signature->assign(bytes, length);
    return true;
}

void VerifySignature(Verification* verification, const std::string& publicKeyInfo,
                     const std::string& manifest) {
    if (!verification->hashed)
        ReportText(verification, kManifestFileName,
                   std::string("has no [") + kSha256Section +
                       "]: installers with the key refuse the package");
    std::string signature, problem;
    if (!ReadSignature(verification, &signature)) return;
    switch (VerifySha256(publicKeyInfo, manifest, signature, &problem)) {
    case SignatureVerdict::Valid:
        return;
    case SignatureVerdict::Invalid:
        ReportText(verification, kSignatureFileName,
                   std::string("is not the key's signature over ") + kManifestFileName);
        return;
    case SignatureVerdict::Unusable:
        ReportText(verification, kSignatureFileName, "not checked: " + problem);
        return;
    }
}

// What installers check of [package] without a component's minVersion: readable, not
// expired and, when the expected name is given, that name.
void VerifyBinding(Verification* verification, const ManifestList& list, const char* name) {
    char listed[kManifestLineLength + 1] = "";
    (void)list.GetText(kPackageSection, kPackageNameKey, listed, sizeof listed);
    PackageRequirement wanted;
    wanted.fileName = name != nullptr ? name : listed;
    wanted.today = TodayUtc();
    const char* problem = BindingProblem(CheckPackageBinding(list, wanted));
    if (problem == nullptr && name != nullptr && !list.HasSection(kPackageSection))
        problem = "names no file (no [package]): it passes as any file signed with its key";
    if (problem != nullptr) ReportText(verification, kManifestFileName, problem);
}

bool HasDigests(const ManifestList& list) {
    char text[kDigestTextSize];
    char first[kPartNameSize];
    FormatPartName(0, first);
    return list.GetText(kSha256Section, kSha256TotalKey, text, sizeof text) ||
           list.GetText(kSha256Section, first, text, sizeof text);
}

bool SignatureExists(const char* directory) {
    char path[kToolPathSize];
    FILE* file = JoinPath(path, directory, kSignatureFileName) ? fopen(path, "rb") : nullptr;
    if (file != nullptr) fclose(file);
    return file != nullptr;
}

}  // namespace

int RunVerify(int argc, char** argv) {
    if (argc == 1 && strcmp(argv[0], "--help") == 0) {
        printf("cvpublish %s\n%s\n", kVerifyUsage, kVerifyHelp);
        return kExitSuccess;
    }
    const char* keyPath = nullptr;
    const char* expectedName = nullptr;
    for (; argc >= 3; argc -= 2, argv += 2) {
        if (strcmp(argv[0], "--key") == 0)
            keyPath = argv[1];
        else if (strcmp(argv[0], "--name") == 0)
            expectedName = argv[1];
        else
            break;
    }
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish %s\n", kVerifyUsage);
        return kExitUsage;
    }
    std::string publicKeyInfo, problem;
    if (keyPath != nullptr && !ReadPublicKeyFile(keyPath, &publicKeyInfo, &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", keyPath, problem.c_str());
        return kExitFailure;
    }
    Verification verification;
    verification.directory = argv[0];
    verification.problems = 0;
    verification.joinedComplete = true;
    ManifestList list;
    std::string manifest;
    if (!ReadManifest(&verification, &list, &manifest)) return kExitFailure;
    verification.hashed = HasDigests(list);

    int32_t partSize = 0;
    uint64_t total = 0;
    ListedParts parts(list);
    while (parts.Next()) {
        const char* name = parts.name;
        int32_t listedSize = parts.size;
        int32_t listedSum = 0;
        bool hasSum = list.GetValue(kSumsSection, name, &listedSum);
        if (!hasSum) Report(&verification, "no checksum in [sums]", name, 0);
        if (listedSize < 0) Report(&verification, "negative size %ld in [files]", name, listedSize);
        if (partSize == 0 && listedSize > 0) partSize = listedSize;
        if (listedSize > partSize)
            Report(&verification,
                   "listed size %ld exceeds the part size %ld (the first non-zero size)", name,
                   static_cast<long>(listedSize), static_cast<long>(partSize));
        VerifyPart(&verification, list, name, listedSize, hasSum, listedSum);
        if (listedSize > 0) total += static_cast<uint64_t>(listedSize);
    }

    int32_t totalSum = 0;
    unsigned char digest[kMd5DigestSize];
    verification.joined.Final(digest);
    Sha256Digest joinedDigest = {};
    bool digested = verification.joinedDigest.Finish(joinedDigest);
    if (!list.GetValue(kSumsSection, kTotalSumKey, &totalSum))
        Report(&verification, "no total_sum in [sums]", kManifestFileName, 0);
    else if (!verification.joinedComplete)
        Report(&verification, "total_sum not checked: a part is missing or short",
               kManifestFileName, 0);
    else if (PackageChecksum(digest) != totalSum)
        Report(&verification, "total_sum is %ld, the joined parts give %ld", kManifestFileName,
               static_cast<long>(totalSum), static_cast<long>(PackageChecksum(digest)));
    if (verification.joinedComplete)
        CompareDigest(&verification, list, kManifestFileName, kSha256TotalKey, digested,
                      joinedDigest);
    if (keyPath != nullptr) VerifySignature(&verification, publicKeyInfo, manifest);
    VerifyBinding(&verification, list, expectedName);

    if (verification.problems > 0) return kExitFailure;
    const char* signature = keyPath != nullptr ? ", signature valid"
                            : SignatureExists(verification.directory)
                                ? ", signature not checked (no --key)"
                                : "";
    printf("%s: %u part(s), %llu bytes, all checksums%s match%s%s\n", verification.directory,
           parts.Count(), static_cast<unsigned long long>(total),
           verification.hashed ? " and SHA-256 digests" : "", signature,
           verification.hashed ? (", " + DescribeBinding(list)).c_str() : "");
    return kExitSuccess;
}
