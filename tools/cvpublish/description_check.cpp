// Checks of a description file (see description_check.h). Each check names what the
// installer will do with the text, so that a publisher sees the effect, not a rule.
#include "tools/cvpublish/description_check.h"

#include <stdarg.h>
#include <stdio.h>

#include <algorithm>

#include "common/limits.h"
#include "common/text.h"
#include "config/string_table.h"
#include "install/install_entry.h"
#include "install/registry_line.h"
#include "transfer/password.h"
#include "transfer/publisher_key.h"
#include "transfer/package_binding.h"
#include "transfer/sha256_text.h"

const char kExtensionLibraryName[] = "cvgetex.dll";

namespace {

const char kListDelimiters[] = ", ";
// The reference's description path when a registry entry names no other file.
const char kThisDescription[] = "\x01";
// The component's section name is stored with its terminator.
const size_t kSectionNameLimit = kSectionNameSize - 1;

// Text keys of a component section and the buffer each is read into.
struct TextKey {
    const char* name;
    size_t size;
};
const TextKey kComponentTextKeys[] = {
    {"name", kComponentNameSize},
    {"NoDownloadIfObjectsExist", kObjectListSize},
    {"NoDownloadIfFilesExist", kRequiredFileListSize},
    {"files", kFileListSize},
    {"Protocol", kProtocolSize},
    {"SourceDir", kSourceDirSize},
    {"site", kSiteSize},
    {"proxy", kProxySize},
    {"port", kPortSize},
    {"user", kLoginValueSize},
    {"password", kLoginValueSize},
    {"proxyuser", kLoginValueSize},
    {"proxypassword", kLoginValueSize},
};
const char* const kComponentIntegerKeys[] = {"enable", "size", "DisplayOrder", "InstallOrder",
                                             "count"};
// Keys of signed packages and pinned files, checked on their own.
const char kPublisherKeyKey[] = "publisherKey";
const char kPinsKey[] = "sha256";
const char kMinVersionKey[] = "minVersion";
const char kAllowUnverifiedKey[] = "allowUnverified";
// The installer reads at most this much of a value before it substitutes it: the pins are
// cut there.
const size_t kPinListSize = kMaxRawValue;
const char* const kEntryKeys[] = {"extract", "registry", "install"};
// Verbs the shell knows for most files; any other verb is most likely a typing error.
const char* const kShellVerbs[] = {"open", "print", "printto", "edit", "explore", "find", "runas"};

struct Check {
    const ProfileText& profile;
    Findings* findings;
    std::vector<NetworkComponent>* network;
    std::vector<std::string> allFiles;         // every token of every component's files
    std::vector<std::string> workFiles;        // the files that land in the work directory
    std::vector<std::string> checkedRegistry;  // registry sections already checked
    DescriptionFacts facts;
    std::string defsPublisherKey;  // [defs]' publisherKey when it parses
    bool defsKeyWritten;           // [defs] has a publisherKey that is not empty
};

bool InList(const char* const* list, size_t count, const char* word) {
    for (size_t i = 0; i < count; ++i)
        if (EqualsIgnoringCase(list[i], word)) return true;
    return false;
}

std::vector<std::string> Tokens(const std::string& list) {
    std::vector<char> buffer(list.begin(), list.end());
    buffer.push_back('\0');
    std::vector<std::string> tokens;
    char* cursor = buffer.data();
    while (char* token = NextToken(&cursor, kListDelimiters)) tokens.push_back(token);
    return tokens;
}

// Every %name% of a raw value must be defined in a string section the installer loads.
void CheckReferences(Check& check, const ProfileLine& line) {
    const std::string& value = line.value;
    size_t comment = value.find(';');
    if (comment != std::string::npos && comment > 0 &&
        (value[comment - 1] == ' ' || value[comment - 1] == '\t'))
        check.findings->Add(line.number, Severity::Warning,
                            "%s: \"%s\" is part of the value: comments stand on lines of "
                            "their own",
                            line.key.c_str(), value.c_str() + comment);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') continue;
        if (i + 1 < value.size() && value[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t close = value.find('%', i + 1);
        if (close == std::string::npos) {
            check.findings->Add(line.number, Severity::Warning,
                                "%s: a %% without a closing %% ends the value there (write %%%% "
                                "for a percent sign)",
                                line.key.c_str());
            return;
        }
        std::string name = value.substr(i + 1, close - i - 1);
        if (name.size() > kMaxReferenceName)
            check.findings->Add(line.number, Severity::Error,
                                "%s: a reference name longer than %zu characters is never "
                                "looked up",
                                line.key.c_str(), kMaxReferenceName);
        else if (LookUpString(name.c_str()) == nullptr)
            check.findings->Add(line.number, Severity::Error,
                                "%s: %%%s%% is defined in no string section named by strings=: "
                                "it is replaced by nothing",
                                line.key.c_str(), name.c_str());
        i = close;
    }
}

// A text key as the installer reads it: the raw value cut to size-1 characters, then
// substituted into size bytes.
std::string ReadText(Check& check, const ProfileSection* section, const char* key,
                     const char* defaultText, size_t size, int* lineNumber = nullptr) {
    const ProfileLine* line = ProfileText::FindValue(section, key);
    if (lineNumber != nullptr) *lineNumber = line != nullptr ? line->number : 0;
    std::string raw = line != nullptr ? line->KeyValue() : defaultText;
    std::vector<char> whole(raw.size() * 8 + 4096);
    Substitute(raw.c_str(), whole.data(), whole.size());
    if (line != nullptr && strlen(whole.data()) > size - 1)
        check.findings->Add(line->number, Severity::Warning,
                            "%s: the value is %zu characters long; the installer cuts it to %zu",
                            line->key.c_str(), strlen(whole.data()), size - 1);
    else if (line != nullptr && raw.size() > size - 1)
        check.findings->Add(line->number, Severity::Warning,
                            "%s: the value is written with %zu characters; the installer cuts "
                            "the text to %zu before it replaces %%name%%",
                            line->key.c_str(), raw.size(), size - 1);
    if (raw.size() > size - 1) raw.resize(size - 1);
    std::vector<char> out(size);
    Substitute(raw.c_str(), out.data(), size);
    return out.data();
}

// An integer key as the profile reads it: a missing or empty value gives the default,
// otherwise the number its text begins with.
long ReadInteger(Check& check, const ProfileSection* section, const char* key, long defaultValue,
                 int* lineNumber = nullptr) {
    const ProfileLine* line = ProfileText::FindValue(section, key);
    if (lineNumber != nullptr) *lineNumber = line != nullptr ? line->number : 0;
    if (line == nullptr) return defaultValue;
    std::string written = line->KeyValue();
    if (written.empty()) return defaultValue;
    const char* text = written.c_str();
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (*end != '\0')
        check.findings->Add(line->number, Severity::Warning,
                            "%s: \"%s\" is read as the number %ld%s", line->key.c_str(), text,
                            value,
                            strchr(text, '%') != nullptr ? " (numbers are not substituted)" : "");
    return value;
}

void CheckDuplicates(Check& check) {
    const std::vector<ProfileSection>& sections = check.profile.Sections();
    for (const ProfileSection& section : sections) {
        if (section.name.empty())
            check.findings->Add(section.number, Severity::Warning,
                                "a section without a name is never read");
        const ProfileSection* first = check.profile.FindSection(section.name.c_str());
        if (first != &section)
            check.findings->Add(section.number, Severity::Warning,
                                "[%s] appears again: only the first, at line %d, is read",
                                section.name.c_str(), first->number);
        for (const ProfileLine& line : section.lines) {
            if (!line.hasEquals && line.key[0] == '[')
                check.findings->Add(line.number, Severity::Warning,
                                    "a section header without \"]\" is no header: the lines "
                                    "after it belong to [%s]",
                                    section.name.c_str());
            const ProfileLine* firstLine = ProfileText::FindKey(&section, line.key.c_str());
            if (firstLine != nullptr && firstLine != &line && line.hasEquals)
                check.findings->Add(line.number, Severity::Warning,
                                    "%s is set again: only the first, at line %d, is read",
                                    line.key.c_str(), firstLine->number);
        }
    }
}

// A key of a component section that the installer reads; entry keys are extract, registry
// and install followed by a pass number (returned, else 0).
bool IsComponentKey(const std::string& key, long* pass) {
    *pass = 0;
    for (const TextKey& known : kComponentTextKeys)
        if (EqualsIgnoringCase(known.name, key.c_str())) return true;
    if (InList(kComponentIntegerKeys, countof(kComponentIntegerKeys), key.c_str()) ||
        EqualsIgnoringCase(key.c_str(), kPublisherKeyKey) ||
        EqualsIgnoringCase(key.c_str(), kPinsKey) ||
        EqualsIgnoringCase(key.c_str(), kMinVersionKey) ||
        EqualsIgnoringCase(key.c_str(), kAllowUnverifiedKey))
        return true;
    for (const char* prefix : kEntryKeys) {
        size_t length = strlen(prefix);
        // The installer asks for "install1", "install2"...: "install01" and "install0"
        // are never read.
        if (key.size() > length && EqualsIgnoringCaseN(key.c_str(), prefix, length) &&
            key.find_first_not_of("0123456789", length) == std::string::npos &&
            key[length] != '0') {
            *pass = strtol(key.c_str() + length, nullptr, 10);
            return true;
        }
    }
    return false;
}

void CheckTargetFlags(Check& check, int line, const char* arguments) {
    if (arguments == nullptr) return;
    int flags = TargetFlags(arguments);
    std::string text(arguments);
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos ||
        text.find_first_not_of("0123456789 \t", first) != std::string::npos)
        check.findings->Add(line, Severity::Warning,
                            "target flags \"%s\" are read as the number %d", arguments, flags);
    if (flags < 0 || flags > 31) {
        check.findings->Add(line, Severity::Warning,
                            "target flags %d: only 1, 2, 4, 8 and 16 have a meaning", flags);
        return;
    }
    const int folders = flags & (kTargetWindowsFlag | kTargetSystemFlag | kTargetDataFlag);
    if ((folders & (folders - 1)) != 0)
        check.findings->Add(line, Severity::Warning,
                            "target flags %d name several folders: only the first of 1 (Windows), "
                            "2 (system), 8 (data) counts",
                            flags);
    if ((flags & kTargetNoProgramSuffixFlag) != 0 && folders != 0)
        check.findings->Add(line, Severity::Warning,
                            "target flag 4 (no \\Program) only matters for the client's program "
                            "folder, not with 1, 2 or 8");
}

void CheckInstallEntry(Check& check, const NetworkComponent* network, const char* key, int line,
                       const std::string& value) {
    std::vector<char> text(value.begin(), value.end());
    text.push_back('\0');
    InstallEntry fields;
    if (!SplitInstallEntry(text.data(), &fields)) {
        check.findings->Add(line, Severity::Error,
                            "%s: \"%s\" has no file field: the action fails and the installation "
                            "stops",
                            key, value.c_str());
        return;
    }
    InstallVerb verb = ClassifyVerb(fields.verb);
    if (verb == VerbPackage || verb == VerbInstallerPackage)
        check.facts.unpacked.push_back(UnpackedFile{fields.file, line});
    if (verb == VerbShell && !InList(kShellVerbs, countof(kShellVerbs), fields.verb))
        check.findings->Add(line, Severity::Warning,
                            "%s: \"%s\" is not ispackage, run, package or copy: the file is "
                            "handed to the shell with the verb \"%s\"",
                            key, fields.verb, fields.verb);
    if (verb == VerbPackage || verb == VerbCopy) CheckTargetFlags(check, line, fields.arguments);
    if (network != nullptr &&
        std::find_if(check.allFiles.begin(), check.allFiles.end(), [&](const std::string& f) {
            return EqualsIgnoringCase(f.c_str(), fields.file);
        }) == check.allFiles.end())
        check.findings->Add(line, Severity::Warning,
                            "%s: %s is not among the files of any component; the installer looks "
                            "for it in its work directory",
                            key, fields.file);
}

void CheckRegistrySection(Check& check, int line, const char* key, const std::string& reference) {
    RegistrySource source;
    if (!SplitRegistryReference(reference.c_str(), kThisDescription, &source)) {
        check.findings->Add(line, Severity::Error,
                            "%s: \"%s\" names no section (empty, or too long)", key,
                            reference.c_str());
        return;
    }
    if (strcmp(source.file, kThisDescription) != 0) return;  // another file: not ours to read
    const ProfileSection* section = check.profile.FindSection(source.section);
    if (section == nullptr) {
        check.findings->Add(line, Severity::Error,
                            "%s: there is no section [%s]: no registry value is written", key,
                            source.section);
        return;
    }
    for (const std::string& done : check.checkedRegistry)
        if (EqualsIgnoringCase(done.c_str(), section->name.c_str())) return;
    check.checkedRegistry.push_back(section->name);
    // The profile read returns at most the buffer's size minus two characters, and the
    // installer takes a section of that length as cut.
    size_t length = ProfileText::SectionText(section).size() - 1;
    if (length >= registrySectionBufferSize - 2)
        check.findings->Add(section->number, Severity::Error,
                            "[%s] holds %zu characters; the installer reads sections of up to "
                            "%zu whole, leaves out the cut last line and fails the registry "
                            "action",
                            section->name.c_str(), length, registrySectionBufferSize - 3);
    for (const ProfileLine& entry : section->lines) {
        if (entry.IsComment()) continue;
        if (!entry.hasEquals) {
            check.findings->Add(entry.number, Severity::Warning,
                                "registry line without \"=\": the installer skips it");
            continue;
        }
        std::string whole = entry.key + "=" + entry.value;
        std::vector<char> text(whole.begin(), whole.end());
        text.push_back('\0');
        RegistryLine parsed = ParseRegistryLine(text.data());
        if (parsed.kind == RegistryLineKind::Stop) {
            check.findings->Add(entry.number, Severity::Error,
                                "registry root is not HKCR, HKCU, HKLM or HKU: the installer "
                                "stops the section [%s] here",
                                section->name.c_str());
            return;
        }
        if (parsed.kind == RegistryLineKind::Skip)
            check.findings->Add(entry.number, Severity::Warning,
                                "registry line lacks a subkey, a type or the data: the installer "
                                "skips it (form: ROOT,subkey[,name]=type,data)");
        else if (whole.find('%') != std::string::npos)
            check.findings->Add(entry.number, Severity::Warning,
                                "registry lines are not substituted: %% and %%name%% are written "
                                "as they stand");
    }
}

void CheckProtocol(Check& check, const ProfileSection* section, NetworkComponent* facts) {
    int line = 0;
    std::string protocol =
        ReadText(check, section, "Protocol", kDefaultProtocol, kProtocolSize, &line);
    facts->protocol = ProtocolFromText(protocol.c_str());
    if (facts->protocol != ProtocolSelfExtract) return;
    if (EqualsIgnoringCase(protocol.c_str(), "http"))
        check.findings->Add(line, Severity::Error,
                            "Protocol \"%s\" is not http: only lower-case http is downloaded; "
                            "this is taken as selfext (files expected in the payload)",
                            protocol.c_str());
    else if (!EqualsIgnoringCase(protocol.c_str(), kDefaultProtocol))
        check.findings->Add(line, Severity::Warning,
                            "Protocol \"%s\" is none of http, ftp, copy, cdrom, selfext: taken "
                            "as selfext",
                            protocol.c_str());
}

// The proxy account goes to the description's own proxy only: the browser's proxy, and
// one that takes the user's Windows log-on, never get it.
void CheckProxyAccount(Check& check, const ProfileSection* section, const char* name) {
    int line = 0;
    if (ReadText(check, section, "proxyuser", "", kLoginValueSize, &line).empty()) return;
    if (!ReadText(check, section, "proxy", "", kProxySize).empty()) return;
    check.findings->Add(line, Severity::Warning,
                        "[%s]: proxyuser without proxy is never used: the account goes to the "
                        "description's own proxy only (a proxy that takes the user's Windows "
                        "log-on needs no account)",
                        name);
}

// An http component's password and proxypassword hold what "cvpublish scramble" prints;
// the installer unscrambles them. A plain password does not unscramble, or gives bytes
// nobody types.
void CheckScrambled(Check& check, const ProfileSection* section, const char* key) {
    int line = 0;
    std::string value = ReadText(check, section, key, "", kLoginValueSize, &line);
    if (value.empty()) return;
    char plain[kPasswordFieldSize] = "";
    bool printable = UnscramblePassword(value.c_str(), plain) && plain[0] != '\0';
    for (const char* p = plain; *p != '\0'; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) printable = false;
    if (!printable)
        check.findings->Add(line, Severity::Warning,
                            "%s does not unscramble to printable text: the installer would send "
                            "something else; write what \"cvpublish scramble PASSWORD\" prints",
                            key);
}

void CheckSource(Check& check, const ProfileSection* section, NetworkComponent* facts) {
    int filesLine = 0, siteLine = 0, dirLine = 0;
    facts->files = Tokens(ReadText(check, section, "files", "", kFileListSize, &filesLine));
    std::string site = ReadText(check, section, "site", "", kSiteSize, &siteLine);
    facts->sourceDir = ReadText(check, section, "SourceDir", "", kSourceDirSize, &dirLine);
    if (facts->protocol == ProtocolCopy && facts->sourceDir.empty())
        check.findings->Add(dirLine != 0 ? dirLine : facts->line, Severity::Warning,
                            "[%s]: a copy component without SourceDir looks for its files in "
                            "the current directory",
                            facts->section.c_str());
    if (!IsNetworkProtocol(facts->protocol)) return;
    const char* protocol = facts->protocol == ProtocolHttp ? "http" : "ftp";
    if (site.empty())
        check.findings->Add(siteLine != 0 ? siteLine : facts->line, Severity::Error,
                            "[%s]: an %s component without a site cannot be downloaded",
                            facts->section.c_str(), protocol);
    else if (!SiteCanBeDownloaded(site.c_str()))
        check.findings->Add(siteLine, Severity::Error,
                            "[%s]: site \"%s\" has a port that is no whole number from 1 to "
                            "65535: the %s component cannot be downloaded",
                            facts->section.c_str(), site.c_str(), protocol);
    if (facts->files.empty())
        check.findings->Add(filesLine != 0 ? filesLine : facts->line, Severity::Error,
                            "[%s]: an %s component without files downloads nothing and is never "
                            "installed",
                            facts->section.c_str(), protocol);
    if (facts->protocol == ProtocolFtp &&
        ReadText(check, section, "user", "", kLoginValueSize).empty())
        check.findings->Add(facts->line, Severity::Warning,
                            "[%s]: an ftp component without user logs in with an empty user "
                            "name; write user=anonymous for an anonymous log-in",
                            facts->section.c_str());
    if (facts->protocol == ProtocolHttp) {
        CheckScrambled(check, section, "password");
        CheckScrambled(check, section, "proxypassword");
        CheckProxyAccount(check, section, facts->section.c_str());
    }
    if (facts->protocol == ProtocolHttp && facts->files.size() > 1)
        check.findings->Add(filesLine, Severity::Warning,
                            "[%s]: every file of an http component is fetched from the one "
                            "package in SourceDir; give each file a component of its own",
                            facts->section.c_str());
    size_t remoteLength = facts->sourceDir.size() + 1;
    size_t longest = 0;
    for (const std::string& file : facts->files) longest = std::max(longest, file.size());
    if (facts->protocol == ProtocolFtp) remoteLength += longest;
    if (!facts->sourceDir.empty() && remoteLength > kRemotePathSize - 1)
        check.findings->Add(dirLine, Severity::Error,
                            "the remote path (SourceDir, \"/\"%s) is longer than %zu characters: "
                            "the download fails",
                            facts->protocol == ProtocolFtp ? " and the file name" : "",
                            kRemotePathSize - 1);
}

// A value substituted whole, without the installer's cut.
std::string Substituted(const ProfileLine* line, const char* defaultText) {
    std::string raw = line != nullptr ? line->KeyValue() : defaultText;
    std::vector<char> value(raw.size() * 8 + 4096);
    Substitute(raw.c_str(), value.data(), value.size());
    return value.data();
}

// The publisher's key of a section as the installer reads it (substituted); empty when the
// section has none or it is refused (reported). empty is set when the key is written with
// an empty value.
std::string CheckPublisherKey(Check& check, const ProfileSection* section, bool* empty) {
    const ProfileLine* line = ProfileText::FindValue(section, kPublisherKeyKey);
    *empty = line != nullptr && line->KeyValue().empty();
    if (line == nullptr || line->KeyValue().empty()) return std::string();
    std::string value = Substituted(line, "");
    size_t length = std::max(value.size(), line->KeyValue().size());
    PublisherKey key;
    if (length >= kPublisherKeyTextSize) {
        check.findings->Add(line->number, Severity::Error,
                            "%s is %zu characters long; the installer reads %zu, and a cut key "
                            "fails the http components it covers",
                            line->key.c_str(), length, kPublisherKeyTextSize - 1);
        return std::string();
    }
    if (!ParsePublisherKey(value.c_str(), key)) {
        check.findings->Add(line->number, Severity::Error,
                            "%s is no RSA public key of %zu to %zu bits as \"cvpublish key\" "
                            "prints it: the installer fails the http components it covers",
                            line->key.c_str(), kMinPublisherKeyBits, kMaxPublisherKeyBits);
        return std::string();
    }
    return value;
}

// A component's publisherKey (http only: its own wins over [defs]', even when empty).
void CheckComponentKey(Check& check, const ProfileSection* section, NetworkComponent* facts) {
    bool empty = false;
    std::string key = CheckPublisherKey(check, section, &empty);
    const ProfileLine* line = ProfileText::FindValue(section, kPublisherKeyKey);
    facts->publisherKey = line != nullptr ? key : check.defsPublisherKey;
    if (line == nullptr) return;
    if (facts->protocol != ProtocolHttp)
        check.findings->Add(line->number, Severity::Warning,
                            "%s: only http components are signed; this one does not use it",
                            line->key.c_str());
    else if (empty && !check.defsPublisherKey.empty())
        check.findings->Add(line->number, Severity::Warning,
                            "%s is empty: this component's package is not checked against the "
                            "key of [defs]",
                            line->key.c_str());
}

// A component's sha256 pins: one digest per file, in the order of files; http components
// do not use them (their packages are signed).
void CheckPins(Check& check, const ProfileSection* section, NetworkComponent* facts) {
    int number = 0;
    std::string pins = ReadText(check, section, kPinsKey, "", kPinListSize, &number);
    if (number == 0) return;
    if (facts->protocol == ProtocolHttp) {
        check.findings->Add(number, Severity::Warning,
                            "%s is not used for http components: their packages are signed "
                            "(publisherKey)",
                            kPinsKey);
        return;
    }
    if (pins.empty()) return;
    size_t count = CountPinnedDigests(pins.c_str());
    if (count != facts->files.size()) {
        check.findings->Add(number, Severity::Error,
                            "%s lists %zu digest(s) for %zu file(s): one per file, in the order "
                            "of files; the installer refuses the files without one",
                            kPinsKey, count, facts->files.size());
        return;
    }
    std::vector<std::string> digests;
    for (size_t i = 0; i < count; ++i) {
        Sha256Digest digest;
        if (PinnedDigest(pins.c_str(), i, digest)) {
            char hex[kSha256HexLength + 1];
            FormatSha256Hex(digest, hex);
            digests.push_back(hex);
        } else {
            check.findings->Add(number, Severity::Error,
                                "%s: digest %zu (for %s) is not 64 hex digits: the installer "
                                "refuses that file",
                                kPinsKey, i + 1, facts->files[i].c_str());
        }
    }
    if (digests.size() != count) return;
    facts->pins = digests;
    facts->pinsLine = number;
}

// The oldest release a signed package may be: a whole number, and only where a key is in
// force (the installer checks it against the package's signed version).
void CheckMinVersion(Check& check, const ProfileSection* section, NetworkComponent* facts) {
    const size_t kValueSize = 260;  // what the installer reads of it
    int number = 0;
    std::string text = ReadText(check, section, kMinVersionKey, "", kValueSize, &number);
    if (number == 0 || text.empty()) return;
    uint64_t version = 0;
    if (!ParsePackageVersion(text.c_str(), &version))
        check.findings->Add(number, Severity::Error,
                            "%s \"%s\" is no whole number: the installer refuses every package "
                            "of this component",
                            kMinVersionKey, text.c_str());
    else if (facts->protocol != ProtocolHttp || facts->publisherKey.empty())
        check.findings->Add(number, Severity::Warning,
                            "%s is only checked against a signed http package: this component "
                            "has no publisherKey in force",
                            kMinVersionKey);
    else
        facts->minVersion = text;
}

bool WrittenNotEmpty(const ProfileSection* section, const char* key) {
    const ProfileLine* line = ProfileText::FindValue(section, key);
    return line != nullptr && !line->KeyValue().empty();
}

// Under a publisher's key the installer refuses a network component that is neither
// signed nor pinned, unless its section allows it with allowUnverified=TRUE.
void CheckUnverifiedSource(Check& check, const ProfileSection* section,
                           const NetworkComponent& facts) {
    const ProfileLine* own = ProfileText::FindValue(section, kPublisherKeyKey);
    int allowLine = 0;
    std::string allow = ReadText(check, section, kAllowUnverifiedKey, "", 16, &allowLine);
    SourceTrust trust = {facts.protocol,
                         check.defsKeyWritten || WrittenNotEmpty(section, kPublisherKeyKey),
                         own != nullptr ? !own->KeyValue().empty() : check.defsKeyWritten,
                         WrittenNotEmpty(section, kPinsKey), AllowsUnverified(allow.c_str())};
    const char* how = facts.protocol == ProtocolHttp ? "http" : "ftp";
    switch (JudgeSource(trust)) {
    case SourceVerdict::Checked:
        return;
    case SourceVerdict::Unverified:
        check.findings->Add(allowLine, Severity::Warning,
                            "%s: [%s] comes over %s unchecked although publisherKey is in "
                            "force; anyone on the network path can change it",
                            kAllowUnverifiedKey, section->name.c_str(), how);
        return;
    case SourceVerdict::Refused:
        check.findings->Add(section->number, Severity::Error,
                            "[%s] comes over %s neither signed nor pinned (sha256) although "
                            "publisherKey is in force: the installer refuses it (sign or pin "
                            "it, or write %s=TRUE)",
                            section->name.c_str(), how, kAllowUnverifiedKey);
        return;
    }
}

void CheckPasses(Check& check, const ProfileSection* section, const NetworkComponent* network) {
    long count = ReadInteger(check, section, "count", 1);
    for (const ProfileLine& line : section->lines) {
        long pass = 0;
        if (line.IsComment() || !line.hasEquals) continue;
        if (!IsComponentKey(line.key, &pass)) {
            check.findings->Add(line.number, Severity::Warning,
                                "%s is not a key the installer reads", line.key.c_str());
            continue;
        }
        if (pass == 0 || ProfileText::FindKey(section, line.key.c_str()) != &line) continue;
        if (pass > count) {
            check.findings->Add(line.number, Severity::Warning, "%s is never read: count is %ld",
                                line.key.c_str(), count);
            continue;
        }
        std::string value = ReadText(check, section, line.key.c_str(), "", kInstallEntrySize);
        if (value.empty()) continue;
        if (EqualsIgnoringCaseN(line.key.c_str(), "registry", 8))
            CheckRegistrySection(check, line.number, line.key.c_str(), value);
        else
            CheckInstallEntry(check, network, line.key.c_str(), line.number, value);
    }
}

void CheckComponent(Check& check, const std::string& name, int listLine) {
    const ProfileSection* section = check.profile.FindSection(name.c_str());
    if (name.size() > kSectionNameLimit) {
        check.findings->Add(listLine, Severity::Error,
                            "component section name \"%s\" is longer than %zu characters: the "
                            "installer ignores it",
                            name.c_str(), kSectionNameLimit);
        return;
    }
    if (section == nullptr) {
        check.findings->Add(listLine, Severity::Error,
                            "components names [%s], which does not exist: the installer ignores "
                            "it",
                            name.c_str());
        return;
    }
    for (const ProfileLine& line : section->lines)
        if (line.hasEquals) CheckReferences(check, line);
    if (ReadText(check, section, "name", "", kComponentNameSize).empty()) {
        check.findings->Add(section->number, Severity::Warning,
                            "[%s] has no name: the installer ignores this component",
                            section->name.c_str());
        return;
    }
    if (ReadInteger(check, section, "enable", 1) == 0) return;
    NetworkComponent facts;
    facts.section = section->name;
    facts.line = section->number;
    facts.sizeKB = ReadInteger(check, section, "size", 0, &facts.sizeLine);
    ReadInteger(check, section, "DisplayOrder", kDefaultOrder);
    int orderLine = 0;
    long order = ReadInteger(check, section, "InstallOrder", kDefaultOrder, &orderLine);
    if (order >= kNeverInstalledOrder)
        check.findings->Add(orderLine, Severity::Warning,
                            "InstallOrder %ld: components from %d on are never installed", order,
                            kNeverInstalledOrder);
    for (const TextKey& key : kComponentTextKeys) ReadText(check, section, key.name, "", key.size);
    CheckProtocol(check, section, &facts);
    CheckSource(check, section, &facts);
    CheckComponentKey(check, section, &facts);
    CheckPins(check, section, &facts);
    CheckMinVersion(check, section, &facts);
    CheckUnverifiedSource(check, section, facts);
    bool isNetwork = IsNetworkProtocol(facts.protocol);
    CheckPasses(check, section, isNetwork ? &facts : nullptr);
    if (isNetwork) check.network->push_back(facts);
}

// Collects every component's files first: install entries may run files of another
// component. Those of downloaded and payload components land in the work directory.
void CollectFiles(Check& check, const std::vector<std::string>& components) {
    for (const std::string& name : components) {
        const ProfileSection* section = check.profile.FindSection(name.c_str());
        const ProfileLine* files = ProfileText::FindValue(section, "files");
        if (files == nullptr) continue;
        ProtocolKind protocol = ProtocolFromText(
            Substituted(ProfileText::FindValue(section, "Protocol"), kDefaultProtocol).c_str());
        bool inWorkDirectory = protocol != ProtocolCopy && protocol != ProtocolCdrom;
        for (const std::string& file : Tokens(Substituted(files, ""))) {
            check.allFiles.push_back(file);
            if (inWorkDirectory) check.workFiles.push_back(file);
        }
    }
}

bool ListsName(const std::vector<std::string>& names, const char* name) {
    for (const std::string& listed : names)
        if (EqualsIgnoringCase(listed.c_str(), name)) return true;
    return false;
}

// Package actions need the extension library in the work directory: from the payload or
// downloaded as a component's file. Without it they unpack nothing, and the run still
// counts as installed.
void CheckExtensionShipped(Check& check, const std::vector<std::string>& payload) {
    if (check.facts.unpacked.empty() || ListsName(payload, kExtensionLibraryName) ||
        ListsName(check.workFiles, kExtensionLibraryName))
        return;
    check.facts.extensionMissing = true;
    const UnpackedFile& first = check.facts.unpacked.front();
    check.findings->Add(first.line, Severity::Error,
                        "%s is unpacked with %s, which is neither in the installer's payload nor "
                        "among the downloaded files: nothing is unpacked, yet the run counts as "
                        "installed (put it in the payload beside the description)",
                        first.file.c_str(), kExtensionLibraryName);
}

void LoadStringSections(Check& check, const ProfileSection* defs) {
    int line = 0;
    for (const std::string& name :
         Tokens(ReadText(check, defs, "strings", "", kDefsValueSize, &line))) {
        const ProfileSection* section = check.profile.FindSection(name.c_str());
        if (section == nullptr) {
            check.findings->Add(line, Severity::Warning, "strings names [%s], which does not exist",
                                name.c_str());
            continue;
        }
        std::string text = ProfileText::SectionText(section);
        size_t count = text.size() - 1;
        const size_t limit = kStringSectionBufferSize - 1;
        if (count > limit) {
            check.findings->Add(section->number, Severity::Warning,
                                "[%s] holds %zu characters; the installer reads only the first "
                                "%zu, later names are not found",
                                name.c_str(), count, limit);
            count = limit;
        }
        AddStringSectionText(text.c_str(), count);
    }
}

}  // namespace

void Findings::Add(int line, Severity severity, const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    // The analyser does not see va_start through the attribute: the list is initialised.
    vsnprintf(text, sizeof text, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    // A value read by two checks would report its length twice.
    for (const Finding& finding : list)
        if (finding.line == line && finding.text == text) return;
    list.push_back(Finding{line, severity, text});
}

std::vector<Finding> Findings::Sorted() const {
    std::vector<Finding> sorted = list;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return sorted;
}

bool Findings::HasErrors() const {
    for (const Finding& finding : list)
        if (finding.severity == Severity::Error) return true;
    return false;
}

DescriptionFacts CheckDescription(const ProfileText& profile, Findings* findings,
                                  std::vector<NetworkComponent>* network,
                                  const std::vector<std::string>* payload) {
    Check check{profile, findings, network, {}, {}, {}, {}, {}, false};
    CheckDuplicates(check);
    const ProfileSection* defs = profile.FindSection("defs");
    if (defs == nullptr) {
        findings->Add(1, Severity::Error, "no [defs] section: the installer finds no components");
        return check.facts;
    }
    int line = 0;
    std::string allow = ReadText(check, defs, "allowintervention", "TRUE", kDefsValueSize, &line);
    if (!DisallowsIntervention(allow.c_str()) && !EqualsIgnoringCase(allow.c_str(), "TRUE"))
        findings->Add(line, Severity::Warning,
                      "allowintervention \"%s\" counts as TRUE: only the exact text FALSE turns "
                      "the prompts off",
                      allow.c_str());
    LoadStringSections(check, defs);
    bool empty = false;
    check.defsPublisherKey = CheckPublisherKey(check, defs, &empty);
    check.defsKeyWritten = WrittenNotEmpty(defs, kPublisherKeyKey);
    for (const ProfileLine& entry : defs->lines)
        if (entry.hasEquals) CheckReferences(check, entry);
    std::vector<std::string> components =
        Tokens(ReadText(check, defs, "components", "", kDefsValueSize, &line));
    if (components.empty())
        findings->Add(line != 0 ? line : defs->number, Severity::Error,
                      "[defs] names no components: the installer has nothing to do");
    CollectFiles(check, components);
    for (size_t i = 0; i < components.size(); ++i) {
        bool repeated = false;
        for (size_t j = 0; j < i; ++j)
            repeated = repeated || EqualsIgnoringCase(components[i].c_str(), components[j].c_str());
        if (repeated)
            findings->Add(line, Severity::Warning,
                          "components names [%s] twice: it is listed and installed twice",
                          components[i].c_str());
        else
            CheckComponent(check, components[i], line);
    }
    if (payload != nullptr) CheckExtensionShipped(check, *payload);
    return check.facts;
}
