// "check": reads a description as the installer will and reports what it would ignore,
// misread or fail at; with --package, also whether the published files match it.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/description_check.h"
#include "tools/cvpublish/manifest_file.h"
#include "tools/cvpublish/payload_file.h"
#include "tools/cvpublish/publisher_crypto.h"
#include "tools/cvpublish/zip_check.h"
#include "transfer/base64.h"
#include "transfer/sha256_text.h"

const char kCheckUsage[] =
    "check FILE.inf [--package DIR] [--installer EXE | --records NAME[,NAME...]]";
const char kCheckHelp[] =
    "Reads the description FILE.inf as the installer does (the same substitution and list\n"
    "rules) and prints one line per finding, FILE:LINE: error|warning: text. Errors are what\n"
    "makes a component fail or vanish (a named section that is missing, an http component\n"
    "without site or files, a protocol written HTTP, a %name% defined nowhere, an install\n"
    "entry without a file, a registry root the installer stops at); warnings are what it\n"
    "ignores or reads differently than written (a component without a name, an unknown\n"
    "verb or key, odd target flags, InstallOrder 10000 or more, values that are cut).\n"
    "--package DIR: DIR holds what is published, either one package (pkginfo.txt and its\n"
    "parts) or the server's root with each component's SourceDir below it; every part that\n"
    "pkginfo.txt lists must be there with its size (a package without parts gives an\n"
    "empty file, as it does for the installer), ftp files must exist, and a component's\n"
    "size=, when given, should be their size in KB. Every published file that a package\n"
    "or ispackage action unpacks must be a zip archive that cvgetex.dll accepts.\n"
    "--installer EXE (the installer with its payload) or --records (the names of its\n"
    "payload records): package and ispackage actions then need cvgetex.dll in the payload\n"
    "or among the downloaded files. --installer first prints \"EXE: signed ...\" or\n"
    "\"EXE: not signed\".\n"
    "publisherKey must be a key as \"cvpublish key\" prints it, and sha256 (not used by\n"
    "http components) one digest per file. With --package, an http package under a\n"
    "publisherKey must carry that key's signature (pkginfo.sig) and [sha256], and a pinned\n"
    "ftp file must have its digest; its signed [package] must name each of the\n"
    "component's files, give at least its minVersion (a whole number) and not have expired.\n"
    "Checksums and the parts' digests are checked by\n"
    "\"cvpublish verify\".\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors (or a wrong command line or an\n"
    "unreadable FILE).";

namespace {

const int kExitWarnings = 1;
const int kExitErrors = 2;

bool ReadWholeFile(const char* path, std::string* text) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[16384];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

bool FileSize(const std::string& path, uint64_t* size) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool ok = fseek(file, 0, SEEK_END) == 0;
    long end = ok ? ftell(file) : -1;
    fclose(file);
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    return true;
}

bool Exists(const std::string& path) {
    uint64_t size;
    return FileSize(path, &size);
}

// Where the component's files stand under DIR: DIR/SourceDir (its backslashes read as
// slashes, then as written), else DIR itself. Returns the first holding name.
std::string FindPublished(const char* directory, const NetworkComponent& component,
                          const char* name) {
    std::vector<std::string> candidates;
    if (!component.sourceDir.empty()) {
        std::string slashed = component.sourceDir;
        for (char& c : slashed)
            if (c == '\\') c = '/';
        candidates.push_back(std::string(directory) + "/" + slashed);
        candidates.push_back(std::string(directory) + "/" + component.sourceDir);
    }
    candidates.push_back(directory);
    for (const std::string& candidate : candidates)
        if (Exists(candidate + "/" + name)) return candidate;
    return std::string();
}

// A component without "size" shows no size; one with it should show the real one.
void CompareSize(const NetworkComponent& component, uint64_t bytes, Findings* findings) {
    if (component.sizeLine == 0) return;
    uint64_t kilobytes = (bytes + 1023) / 1024;
    if (component.sizeKB >= 0 && static_cast<uint64_t>(component.sizeKB) == kilobytes) return;
    findings->Add(component.sizeLine, Severity::Warning,
                  "[%s]: size=%ld (KB) but the published files hold %llu bytes (size=%llu)",
                  component.section.c_str(), component.sizeKB,
                  static_cast<unsigned long long>(bytes),
                  static_cast<unsigned long long>(kilobytes));
}

// Under a publisherKey the installer takes the package only with the key's signature over
// pkginfo.txt and the digests the manifest then vouches for.
void CheckPackageSignature(const std::string& found, const NetworkComponent& component,
                           Findings* findings) {
    if (component.publisherKey.empty()) return;
    std::vector<unsigned char> der(component.publisherKey.size());
    int length = Base64Decode(component.publisherKey.c_str(), standardBase64Alphabet, der.data(),
                              der.size());
    ManifestList manifest;
    std::string bytes, signature;
    char digest[kManifestLineLength];
    if (length <= 0 ||
        ReadManifestFile((found + "/" + kManifestFileName).c_str(), &manifest, &bytes) != nullptr)
        return;  // a key that does not parse and an unreadable manifest are reported already
    const char* problem = nullptr;
    std::string verdict;
    if (!ReadWholeFile((found + "/" + kSignatureFileName).c_str(), &signature))
        problem = "has no pkginfo.sig";
    else if (!manifest.GetText(kSha256Section, kSha256TotalKey, digest, sizeof digest))
        problem = "has no [sha256] with total= in pkginfo.txt";
    else if (VerifySha256(std::string(reinterpret_cast<const char*>(der.data()),
                                      static_cast<size_t>(length)),
                          bytes, signature, &verdict) != SignatureVerdict::Valid)
        problem = "is not signed with the publisherKey in force (pkginfo.sig does not verify)";
    if (problem != nullptr)
        findings->Add(component.line, Severity::Error,
                      "[%s]: the package in %s %s%s: the installer refuses it",
                      component.section.c_str(), found.c_str(), problem,
                      verdict.empty() ? "" : (" (" + verdict + ")").c_str());
}

// Under a publisherKey the signed [package] must name each file the component asks for,
// give at least its minVersion and not have expired.
void CheckPackageFits(const std::string& found, const ManifestList& manifest,
                      const NetworkComponent& component, Findings* findings) {
    if (component.publisherKey.empty()) return;
    PackageRequirement wanted;
    SetMinimumVersion(component.minVersion.c_str(), &wanted);
    wanted.today = TodayUtc();
    for (const std::string& file : component.files) {
        wanted.fileName = file.c_str();
        const char* problem = BindingProblem(CheckPackageBinding(manifest, wanted));
        if (problem != nullptr)
            findings->Add(
                component.line, Severity::Error,
                "[%s]: the package in %s %s (%s; asked for as %s%s%s): the installer "
                "refuses it",
                component.section.c_str(), found.c_str(), problem,
                DescribeBinding(manifest).c_str(), file.c_str(),
                component.minVersion.empty() ? "" : ", minVersion=", component.minVersion.c_str());
    }
}

void CheckHttpPackage(const char* directory, const NetworkComponent& component,
                      Findings* findings) {
    std::string found = FindPublished(directory, component, kManifestFileName);
    if (found.empty()) {
        findings->Add(
            component.line, Severity::Error, "[%s]: no %s in %s or below it at SourceDir \"%s\"",
            component.section.c_str(), kManifestFileName, directory, component.sourceDir.c_str());
        return;
    }
    ManifestList manifest;
    const char* problem = ReadManifestFile((found + "/" + kManifestFileName).c_str(), &manifest);
    if (problem != nullptr) {
        findings->Add(component.line, Severity::Error, "[%s]: %s/%s %s", component.section.c_str(),
                      found.c_str(), kManifestFileName, problem);
        return;
    }
    CheckPackageSignature(found, component, findings);
    CheckPackageFits(found, manifest, component, findings);
    uint64_t total = 0;
    ListedParts parts(manifest);
    while (parts.Next()) {
        uint64_t size = 0;
        if (!FileSize(found + "/" + parts.name, &size))
            findings->Add(component.line, Severity::Error, "[%s]: part %s/%s is missing",
                          component.section.c_str(), found.c_str(), parts.name);
        else if (parts.size < 0 || size != static_cast<uint64_t>(parts.size))
            findings->Add(component.line, Severity::Error,
                          "[%s]: part %s/%s holds %llu bytes, %s lists %ld",
                          component.section.c_str(), found.c_str(), parts.name,
                          static_cast<unsigned long long>(size), kManifestFileName,
                          static_cast<long>(parts.size));
        if (parts.size > 0) total += static_cast<uint64_t>(parts.size);
    }
    PackageSize package;
    if (MeasurePackage(manifest, &package) == PackageTooLarge)
        findings->Add(component.line, Severity::Error,
                      "[%s]: %s/%s lists more than %lld bytes, the largest package the "
                      "installer takes; it refuses this one",
                      component.section.c_str(), found.c_str(), kManifestFileName,
                      static_cast<long long>(kMaxPackageSize));
    // No parts give an empty file, for the installer and for verify alike.
    CompareSize(component, total, findings);
}

// The SHA-256 of a file in lower-case hex; empty when it cannot be read.
std::string FileDigest(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string();
    Sha256Stream hash;
    char buffer[16384];
    size_t got;
    bool hashed = true;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) hashed = hash.Update(buffer, got);
    hashed = !ferror(file) && hashed;
    fclose(file);
    Sha256Digest digest;
    if (!hashed || !hash.Finish(digest)) return std::string();
    char hex[kSha256HexLength + 1];
    FormatSha256Hex(digest, hex);
    return hex;
}

void ComparePin(const NetworkComponent& component, size_t index, const std::string& path,
                Findings* findings) {
    if (index >= component.pins.size()) return;
    std::string digest = FileDigest(path);
    if (digest != component.pins[index])
        findings->Add(component.pinsLine, Severity::Error,
                      "[%s]: %s as published has SHA-256 %s, not the one sha256 pins: the "
                      "installer refuses it",
                      component.section.c_str(), path.c_str(),
                      digest.empty() ? "(unreadable)" : digest.c_str());
}

void CheckFtpFiles(const char* directory, const NetworkComponent& component, Findings* findings) {
    uint64_t total = 0;
    for (size_t index = 0; index < component.files.size(); ++index) {
        const std::string& file = component.files[index];
        std::string found = FindPublished(directory, component, file.c_str());
        uint64_t size = 0;
        if (found.empty() || !FileSize(found.append("/").append(file), &size)) {
            findings->Add(component.line, Severity::Error,
                          "[%s]: %s is not in %s or below it at SourceDir \"%s\"",
                          component.section.c_str(), file.c_str(), directory,
                          component.sourceDir.c_str());
            return;
        }
        ComparePin(component, index, found, findings);
        total += size;
    }
    CompareSize(component, total, findings);
}

// The published bytes of a component's file: an ftp file as it is, an http package's
// listed parts joined. False when they are not all there (reported elsewhere) or too large.
bool ReadPublished(const char* directory, const NetworkComponent& component,
                   const std::string& file, std::string* bytes) {
    bool tooLarge = false;
    if (component.protocol != ProtocolHttp) {
        std::string found = FindPublished(directory, component, file.c_str());
        return !found.empty() && ReadZipCandidate((found + "/" + file).c_str(), bytes, &tooLarge);
    }
    std::string found = FindPublished(directory, component, kManifestFileName);
    ManifestList manifest;
    if (found.empty() ||
        ReadManifestFile((found + "/" + kManifestFileName).c_str(), &manifest) != nullptr)
        return false;
    bytes->clear();
    ListedParts parts(manifest);
    while (parts.Next()) {
        std::string part;
        if (!ReadZipCandidate((found + "/" + parts.name).c_str(), &part, &tooLarge) ||
            parts.size < 0 || part.size() != static_cast<size_t>(parts.size) ||
            bytes->size() + part.size() > kMaxCheckedZipSize)
            return false;
        bytes->append(part);
    }
    return true;
}

// Every unpacked file that a downloaded component publishes is checked as the extension
// library will check it; files of other components are not in DIR.
void CheckUnpackedFiles(const char* directory, const std::vector<NetworkComponent>& network,
                        const DescriptionFacts& facts, Findings* findings) {
    for (const UnpackedFile& unpacked : facts.unpacked) {
        for (const NetworkComponent& component : network) {
            bool listed = false;
            for (const std::string& file : component.files)
                listed = listed || EqualsIgnoringCase(file.c_str(), unpacked.file.c_str());
            std::string bytes;
            if (!listed || !ReadPublished(directory, component, unpacked.file, &bytes)) continue;
            const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
            std::string reason;
            if (!LooksLikeZip(data, bytes.size()))
                findings->Add(unpacked.line, Severity::Error,
                              "%s as published for [%s] is not a zip archive: cvgetex.dll "
                              "unpacks nothing",
                              unpacked.file.c_str(), component.section.c_str());
            else if (!CheckZipPackage(data, bytes.size(), &reason))
                findings->Add(unpacked.line, Severity::Error,
                              "%s as published for [%s] is refused whole by cvgetex.dll (%s)",
                              unpacked.file.c_str(), component.section.c_str(), reason.c_str());
            break;
        }
    }
}

struct PayloadNames {
    std::vector<std::string> names;
};

bool CollectRecordName(void* context, PayloadFile*, const PayloadRecord& record) {
    static_cast<PayloadNames*>(context)->names.push_back(record.name);
    return true;
}

// The names of an installer's payload records, after a line that says whether it is
// signed; false (reported) when it cannot be read.
bool ReadPayloadNames(const char* path, std::vector<std::string>* names) {
    PayloadFile payload;
    if (!OpenPayloadFile(path, "rb", &payload)) return false;
    printf("%s: %s\n", path, SigningText(payload));
    PayloadNames collected;
    bool walked = payload.trailer.state == TrailerAbsent ||
                  WalkPayload(&payload, CollectRecordName, &collected);
    ClosePayloadFile(&payload);
    *names = collected.names;
    return walked;
}

// The names of a --records list, split like the description's lists.
std::vector<std::string> SplitRecords(const char* list) {
    std::vector<std::string> names;
    std::string name;
    for (const char* p = list;; ++p) {
        if (*p == '\0' || *p == ',' || *p == ' ') {
            if (!name.empty()) names.push_back(name);
            name.clear();
            if (*p == '\0') break;
        } else {
            name += *p;
        }
    }
    return names;
}

}  // namespace

int RunCheck(int argc, char** argv) {
    if (argc == 1 && strcmp(argv[0], "--help") == 0) {
        printf("cvpublish %s\n%s\n", kCheckUsage, kCheckHelp);
        return kExitSuccess;
    }
    const char* package = nullptr;
    const char* installer = nullptr;
    const char* records = nullptr;
    bool usage = argc < 1 || argc % 2 == 0;
    for (int i = 1; i + 1 < argc && !usage; i += 2) {
        const char** option = strcmp(argv[i], "--package") == 0     ? &package
                              : strcmp(argv[i], "--installer") == 0 ? &installer
                              : strcmp(argv[i], "--records") == 0   ? &records
                                                                    : nullptr;
        usage = option == nullptr || *option != nullptr;
        if (!usage) *option = argv[i + 1];
    }
    if (usage || (installer != nullptr && records != nullptr)) {
        fprintf(stderr, "usage: cvpublish %s\n", kCheckUsage);
        return kExitUsage;
    }
    std::vector<std::string> payload;
    if (records != nullptr) payload = SplitRecords(records);
    if (installer != nullptr && !ReadPayloadNames(installer, &payload)) return kExitErrors;
    std::string text;
    if (!ReadWholeFile(argv[0], &text)) {
        fprintf(stderr, "cvpublish: cannot read %s\n", argv[0]);
        return kExitErrors;
    }
    ProfileText profile;
    profile.Parse(text.data(), text.size());
    Findings findings;
    std::vector<NetworkComponent> network;
    DescriptionFacts facts =
        CheckDescription(profile, &findings, &network,
                         installer != nullptr || records != nullptr ? &payload : nullptr);
    if (package != nullptr) {
        for (const NetworkComponent& component : network) {
            if (component.protocol == ProtocolHttp)
                CheckHttpPackage(package, component, &findings);
            else
                CheckFtpFiles(package, component, &findings);
        }
        CheckUnpackedFiles(package, network, facts, &findings);
    }
    for (const Finding& finding : findings.Sorted())
        printf("%s:%d: %s: %s\n", argv[0], finding.line,
               finding.severity == Severity::Error ? "error" : "warning", finding.text.c_str());
    if (findings.HasErrors()) return kExitErrors;
    return findings.Empty() ? kExitSuccess : kExitWarnings;
}
