// "package": cuts a file into the parts file000.bin, file001.bin, ... of an HTTP component's
// server directory and writes the manifest pkginfo.txt that lists their sizes and checksums;
// with --sign also their SHA-256, and the manifest's signature pkginfo.sig.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/key_file.h"
#include "tools/cvpublish/payload_file.h"
#include "tools/cvpublish/publisher_crypto.h"
#include "tools/cvpublish/zip_check.h"
#include "transfer/manifest.h"
#include "transfer/md5.h"
#include "transfer/package_binding.h"
#include "transfer/sha256_text.h"

const char kPackageUsage[] =
    "package [--part-size N[K|M]] [--sign KEY.pem [--name NAME] [--version N]\n"
    "        [--expires YYYY-MM-DD]] FILE OUTDIR";
const char kPackageHelp[] =
    "Cuts FILE into parts file000.bin, file001.bin, ... of N bytes (the last one shorter;\n"
    "default 1M, at most 128M, K and M meaning 1024 and 1048576) in OUTDIR, which is created\n"
    "when missing, and writes OUTDIR/pkginfo.txt last: [files] with each part's size,\n"
    "[sums] with each part's checksum and total_sum, the checksum of FILE. An empty FILE\n"
    "gives a manifest without parts whose total_sum is the checksum of no bytes. Existing\n"
    "files of those names are overwritten; other files in OUTDIR are left alone. FILE must\n"
    "be smaller than 2 GiB and give at most 10000 parts. A FILE that is a zip archive (it\n"
    "begins with PK) is checked first as the installer's cvgetex.dll will check it; one\n"
    "it would refuse (a name that is not printable ASCII, encryption, zip64, an unknown\n"
    "method, a name leaving the folder, a bomb...) is refused and nothing is written.\n"
    "--sign KEY.pem (a private key, see keygen): pkginfo.txt also gets [sha256] with each\n"
    "part's SHA-256 and total=, that of FILE, and OUTDIR/pkginfo.sig holds the RSA signature\n"
    "(PKCS#1 v1.5, SHA-256) of pkginfo.txt's exact bytes, written before it. Installers\n"
    "whose description carries the key's publisherKey install only packages signed so.\n"
    "A signed pkginfo.txt begins with [package]: name=NAME (default: FILE's name), the\n"
    "file the package is installed as, and when given version=N (a whole number that grows\n"
    "with each release) and expires=YYYY-MM-DD (the last day, UTC, it is installed).\n"
    "Installers with the key refuse a package whose name is not the file they asked for,\n"
    "whose version is below the component's minVersion, or that has expired. These options\n"
    "need --sign. Without --sign, a pkginfo.sig left in OUTDIR is deleted.";

namespace {

// A zip archive is published only when the installer will unpack it; false (reported)
// when it would refuse it. Anything else is published as it is.
bool CheckPublishedZip(const char* path, FILE* input) {
    unsigned char head[4];
    size_t got = fread(head, 1, sizeof head, input);
    if (fseek(input, 0, SEEK_SET) != 0) return false;
    if (!LooksLikeZip(head, got)) return true;
    std::string bytes;
    bool tooLarge = false;
    if (!ReadZipCandidate(path, &bytes, &tooLarge)) {
        if (!tooLarge) return false;
        fprintf(stderr, "cvpublish: warning: %s is a zip archive too large to be checked here\n",
                path);
        return true;
    }
    std::string reason;
    if (CheckZipPackage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                        &reason))
        return true;
    fprintf(stderr,
            "cvpublish: %s: the installer's cvgetex.dll refuses this zip archive whole (%s); "
            "nothing written\n",
            path, reason.c_str());
    return false;
}

const uint32_t kDefaultPartSize = 1024 * 1024;
const uint32_t kMaxPartSize = 128 * 1024 * 1024;
// Keeps the manifest well below what the installer accepts.
const uint64_t kMaxPartCount = 10000;

// Reads "N", "NK" or "NM"; false when it is no size between 1 and kMaxPartSize.
bool ParsePartSize(const char* text, uint32_t* size) {
    uint64_t value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > kMaxPartSize) return false;
    }
    if (p == text) return false;
    if (*p == 'K' || *p == 'k') {
        value *= 1024;
        ++p;
    } else if (*p == 'M' || *p == 'm') {
        value *= 1024 * 1024;
        ++p;
    }
    if (*p != '\0' || value == 0 || value > kMaxPartSize) return false;
    *size = static_cast<uint32_t>(value);
    return true;
}

// Every part but the last is partSize bytes long.
uint64_t PartLength(uint64_t fileSize, uint32_t partSize, uint64_t partCount, uint64_t n) {
    return n + 1 < partCount ? partSize : fileSize - n * partSize;
}

bool JoinPath(char (&path)[kToolPathSize], const char* directory, const char* name) {
    if (CopyText(path, directory) && AppendText(path, "/") && AppendText(path, name)) return true;
    fprintf(stderr, "cvpublish: path too long: %s/%s\n", directory, name);
    return false;
}

bool WriteFile(const char* path, const void* data, size_t length) {
    FILE* file = fopen(path, "wb");
    bool written = file != nullptr && fwrite(data, 1, length, file) == length;
    if (file != nullptr) written = fclose(file) == 0 && written;
    if (!written) fprintf(stderr, "cvpublish: cannot write %s\n", path);
    return written;
}

// What the manifest says of the parts written.
struct PartFacts {
    std::vector<int32_t> sums;
    int32_t total = 0;
    bool hashed = false;  // the SHA-256 digests are wanted (a signed package)
    std::vector<Sha256Digest> digests;
    Sha256Digest totalDigest = {};
};

// Writes the parts and fills facts with their checksums (and digests when hashed).
bool WriteParts(FILE* input, const char* directory, uint64_t fileSize, uint32_t partSize,
                uint64_t partCount, PartFacts* facts) {
    unsigned char* buffer = static_cast<unsigned char*>(malloc(partSize));
    if (buffer == nullptr) {
        fprintf(stderr, "cvpublish: no memory for a part of %lu bytes\n",
                static_cast<unsigned long>(partSize));
        return false;
    }
    Md5 whole;
    Sha256Stream wholeDigest;
    bool written = true;
    for (uint64_t n = 0; n < partCount && written; ++n) {
        size_t wanted = static_cast<size_t>(PartLength(fileSize, partSize, partCount, n));
        size_t got = fread(buffer, 1, wanted, input);
        if (got != wanted) {
            fprintf(stderr, "cvpublish: the file became shorter while it was read\n");
            written = false;
            break;
        }
        whole.Update(buffer, got);
        facts->sums.push_back(ComputePackageChecksum(buffer, got));
        if (facts->hashed) {
            Sha256Stream part;
            facts->digests.emplace_back();
            written = part.Update(buffer, got) && part.Finish(facts->digests.back()) &&
                      wholeDigest.Update(buffer, got);
            if (!written) fprintf(stderr, "cvpublish: SHA-256 failed\n");
        }
        char name[kPartNameSize];
        FormatPartName(static_cast<unsigned>(n), name);
        char path[kToolPathSize];
        written = written && JoinPath(path, directory, name) && WriteFile(path, buffer, got);
    }
    free(buffer);
    unsigned char digest[kMd5DigestSize];
    whole.Final(digest);
    facts->total = PackageChecksum(digest);
    if (written && facts->hashed && !wholeDigest.Finish(facts->totalDigest)) {
        fprintf(stderr, "cvpublish: SHA-256 failed\n");
        written = false;
    }
    return written;
}

void AppendLine(std::string* text, const char* key, const char* value) {
    text->append(key).append("=").append(value).append("\r\n");
}

void AppendDigestLine(std::string* text, const char* key, const Sha256Digest& digest) {
    char hex[kSha256HexLength + 1];
    FormatSha256Hex(digest, hex);
    AppendLine(text, key, hex);
}

// The manifest's exact bytes: [files], [sums] and, for a signed package, [package] before
// them and [sha256] after them.
std::string ManifestText(uint64_t fileSize, uint32_t partSize, uint64_t partCount,
                         const PartFacts& facts, const std::string& binding) {
    std::string text = binding + "[" + kFilesSection + "]\r\n";
    char name[kPartNameSize];
    char number[24];
    for (uint64_t n = 0; n < partCount; ++n) {
        FormatPartName(static_cast<unsigned>(n), name);
        FormatDecimal(number, sizeof number,
                      static_cast<long long>(PartLength(fileSize, partSize, partCount, n)));
        AppendLine(&text, name, number);
    }
    text.append("\r\n[").append(kSumsSection).append("]\r\n");
    for (uint64_t n = 0; n < partCount; ++n) {
        FormatPartName(static_cast<unsigned>(n), name);
        FormatDecimal(number, sizeof number, facts.sums[n]);
        AppendLine(&text, name, number);
    }
    FormatDecimal(number, sizeof number, facts.total);
    AppendLine(&text, kTotalSumKey, number);
    if (!facts.hashed) return text;
    text.append("\r\n[").append(kSha256Section).append("]\r\n");
    for (uint64_t n = 0; n < partCount; ++n) {
        FormatPartName(static_cast<unsigned>(n), name);
        AppendDigestLine(&text, name, facts.digests[n]);
    }
    AppendDigestLine(&text, kSha256TotalKey, facts.totalDigest);
    return text;
}

// The [package] section of a signed manifest; version and expires are empty when not given.
struct Binding {
    std::string name;
    const char* version = nullptr;
    const char* expires = nullptr;
};

// A name the installer can compare with a file of the description: one path element of
// printable characters without blanks at its ends, that fits a manifest line.
bool IsPackageName(const std::string& name) {
    const size_t kMaxName = 255;
    if (name.empty() || name.size() > kMaxName || name.front() == ' ' || name.back() == ' ')
        return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/' || c == '\\')
            return false;
    return true;
}

// Reports a [package] value that installers would refuse; true when all are usable.
bool CheckBinding(const Binding& binding) {
    uint64_t version;
    uint32_t date;
    if (!IsPackageName(binding.name)) {
        fprintf(stderr, "cvpublish: --name needs a file name (no path, no control characters)\n");
        return false;
    }
    if (binding.version != nullptr && !ParsePackageVersion(binding.version, &version)) {
        fprintf(stderr, "cvpublish: --version needs a whole number of at most %u digits\n",
                kMaxPackageVersionDigits);
        return false;
    }
    if (binding.expires != nullptr && !ParsePackageDate(binding.expires, &date)) {
        fprintf(stderr, "cvpublish: --expires needs a calendar date YYYY-MM-DD\n");
        return false;
    }
    return true;
}

std::string BindingText(const Binding& binding) {
    std::string text = std::string("[") + kPackageSection + "]\r\n";
    AppendLine(&text, kPackageNameKey, binding.name.c_str());
    if (binding.version != nullptr) AppendLine(&text, kPackageVersionKey, binding.version);
    if (binding.expires != nullptr) AppendLine(&text, kPackageExpiresKey, binding.expires);
    return text + "\r\n";
}

// The signing key of --sign, read before anything is written.
struct Signer {
    const char* path = nullptr;  // none: the package is not signed
    std::string privateKey;
    std::string publicKeyInfo;
};

bool LoadSigner(Signer* signer) {
    KeyFileContents key;
    std::string problem, line;
    if (!ReadKeyFile(signer->path, &key, &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", signer->path, problem.c_str());
        return false;
    }
    if (key.kind != KeyKind::Private) {
        fprintf(stderr, "cvpublish: %s holds a public key; --sign needs the private key\n",
                signer->path);
        return false;
    }
    signer->privateKey = key.der;
    if (!PublicKeyOf(key.der, &signer->publicKeyInfo, &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", signer->path, problem.c_str());
        return false;
    }
    if (!FormatPublisherKey(signer->publicKeyInfo, &line)) {
        fprintf(stderr, "cvpublish: %s: installers accept RSA keys of 2048 to 4096 bits only\n",
                signer->path);
        return false;
    }
    return true;
}

// Signs the manifest and writes the signature; it is checked with the public key first,
// so that a signature the installer would refuse is never published.
bool WriteSignature(const char* directory, const Signer& signer, const std::string& manifest) {
    std::string signature, problem;
    if (!SignSha256(signer.privateKey, manifest, &signature, &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", signer.path, problem.c_str());
        return false;
    }
    if (VerifySha256(signer.publicKeyInfo, manifest, signature, &problem) !=
        SignatureVerdict::Valid) {
        fprintf(stderr, "cvpublish: the signature made with %s does not verify %s\n", signer.path,
                problem.c_str());
        return false;
    }
    char path[kToolPathSize];
    return JoinPath(path, directory, kSignatureFileName) &&
           WriteFile(path, signature.data(), signature.size());
}

// An unsigned package has no signature: one left from an earlier signed package goes.
bool RemoveSignature(const char* directory) {
    char path[kToolPathSize];
    if (!JoinPath(path, directory, kSignatureFileName)) return false;
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error) fprintf(stderr, "cvpublish: cannot delete %s\n", path);
    return !error;
}

bool WriteManifest(const char* directory, const Signer& signer, const std::string& manifest) {
    char path[kToolPathSize];
    if (signer.path != nullptr ? !WriteSignature(directory, signer, manifest)
                               : !RemoveSignature(directory))
        return false;
    return JoinPath(path, directory, kManifestFileName) &&
           WriteFile(path, manifest.data(), manifest.size());
}

}  // namespace

int RunPackage(int argc, char** argv) {
    if (argc == 1 && strcmp(argv[0], "--help") == 0) {
        printf("cvpublish %s\n%s\n", kPackageUsage, kPackageHelp);
        return kExitSuccess;
    }
    uint32_t partSize = kDefaultPartSize;
    Signer signer;
    Binding binding;
    const char* name = nullptr;
    for (; argc >= 2; argc -= 2, argv += 2) {
        if (strcmp(argv[0], "--sign") == 0) {
            signer.path = argv[1];
        } else if (strcmp(argv[0], "--name") == 0) {
            name = argv[1];
        } else if (strcmp(argv[0], "--version") == 0) {
            binding.version = argv[1];
        } else if (strcmp(argv[0], "--expires") == 0) {
            binding.expires = argv[1];
        } else if (strcmp(argv[0], "--part-size") != 0) {
            break;
        } else if (!ParsePartSize(argv[1], &partSize)) {
            fprintf(stderr, "cvpublish: --part-size needs a size from 1 to 128M\n");
            return kExitUsage;
        }
    }
    if (argc != 2) {
        fprintf(stderr, "usage: cvpublish %s\n", kPackageUsage);
        return kExitUsage;
    }
    const char* inputPath = argv[0];
    const char* directory = argv[1];
    if (signer.path == nullptr &&
        (name != nullptr || binding.version != nullptr || binding.expires != nullptr)) {
        fprintf(stderr,
                "cvpublish: --name, --version and --expires are signed: they need --sign\n");
        return kExitUsage;
    }
    binding.name = name != nullptr ? name : LastPathElement(inputPath);
    if (signer.path != nullptr && !CheckBinding(binding)) return kExitUsage;
    if (signer.path != nullptr && !LoadSigner(&signer)) return kExitFailure;

    FILE* input = fopen(inputPath, "rb");
    long measured = -1;
    if (input != nullptr && fseek(input, 0, SEEK_END) == 0) measured = ftell(input);
    if (input == nullptr || measured < 0 || fseek(input, 0, SEEK_SET) != 0) {
        fprintf(stderr, "cvpublish: cannot read %s\n", inputPath);
        if (input != nullptr) fclose(input);
        return kExitFailure;
    }
    if (!CheckPublishedZip(inputPath, input)) {
        fclose(input);
        return kExitFailure;
    }
    const uint64_t fileSize = static_cast<uint64_t>(measured);
    const uint64_t partCount = (fileSize + partSize - 1) / partSize;
    if (fileSize > static_cast<uint64_t>(kMaxPackageSize) || partCount > kMaxPartCount) {
        fprintf(stderr,
                "cvpublish: %s: %llu bytes in %llu parts; a package holds less than 2 GiB in at "
                "most %llu parts (choose a larger --part-size)\n",
                inputPath, static_cast<unsigned long long>(fileSize),
                static_cast<unsigned long long>(partCount),
                static_cast<unsigned long long>(kMaxPartCount));
        fclose(input);
        return kExitFailure;
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        fprintf(stderr, "cvpublish: cannot create %s\n", directory);
        fclose(input);
        return kExitFailure;
    }

    PartFacts facts;
    facts.hashed = signer.path != nullptr;
    bool packaged =
        WriteParts(input, directory, fileSize, partSize, partCount, &facts) &&
        WriteManifest(directory, signer,
                      ManifestText(fileSize, partSize, partCount, facts,
                                   facts.hashed ? BindingText(binding) : std::string()));
    fclose(input);
    if (!packaged) return kExitFailure;
    char totalText[kChecksumTextSize];
    FormatPackageChecksum(facts.total, totalText);
    printf("%s: %llu part(s) of at most %lu bytes, %llu bytes in all, total_sum %s%s\n", directory,
           static_cast<unsigned long long>(partCount), static_cast<unsigned long>(partSize),
           static_cast<unsigned long long>(fileSize), totalText, facts.hashed ? ", signed" : "");
    return kExitSuccess;
}
