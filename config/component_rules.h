// Decisions of the component table that need no platform: the protocol word, the status
// texts, required versions of installed files, the Size cell, the CD-ROM source
// directory and the allowintervention switch.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Where a component's files come from (key "Protocol").
enum ProtocolKind : int32_t {
    ProtocolFtp = 0,
    ProtocolCopy = 1,
    ProtocolCdrom = 2,
    ProtocolSelfExtract = 3,  // "selfext" and any text not named here
    ProtocolHttp = 4,
};

// The state of one component, also the index of its text in the Status column.
enum ComponentStatus : int32_t {
    AlreadyInstalled = 0,
    Downloaded = 1,
    NeedsDownload = 2,
    DownloadError = 3,
    Downloading = 4,
    Extracting = 5,
    Installing = 6,
    InstallDone = 7,
};

// Returned by StatusStringId for a value outside ComponentStatus.
constexpr unsigned kNoStatusString = 0;

// Default of the key "Protocol".
constexpr const char kDefaultProtocol[] = "selfext";

// "ftp", "copy" and "cdrom" ignore case; "http" must be exactly lower case.
ProtocolKind ProtocolFromText(const char* text);

// ftp and http components are downloaded; the others are read where they stand.
inline bool IsNetworkProtocol(ProtocolKind protocol) {
    return protocol == ProtocolFtp || protocol == ProtocolHttp;
}

// A network component's site can be downloaded from: it is not empty, and a port it
// names (after the host, past an "http://" or "https://" the http worker takes off) is
// one ParsePort takes. Any other site is a description error, as an empty one is.
bool SiteCanBeDownloaded(const char* site);

// What a component's files rest on, as its description says. A key is in force when
// "publisherKey" is not empty in [defs] or in the component's own section; an http
// package is signed when the key that applies to it (its own, else that of [defs]) is
// not empty; pins are the "sha256" digests of a component that is not http.
struct SourceTrust {
    ProtocolKind protocol;
    bool keyInForce;
    bool signedPackage;
    bool pinned;
    bool allowUnverified;  // "allowUnverified=TRUE" in the component's section
};

enum class SourceVerdict {
    Checked,     // read where it stands, or checked against a signature or pins
    Unverified,  // fetched unchecked, as the description allows: nothing claims otherwise
    Refused,     // fetched unchecked although the publisher's key is in force
};

// Under a publisher's key, a component fetched from the network (http or ftp) must be a
// signed package or pinned, unless its section allows it explicitly: anyone on the path
// can change what a server sends. Without a key nothing is promised and nothing refused.
SourceVerdict JudgeSource(const SourceTrust& trust);

// The allowUnverified value allows unchecked files only when it is "TRUE" (any case).
bool AllowsUnverified(const char* value);

// String-table id of a status text (512..520, 516 unused).
unsigned StatusStringId(int32_t status);

// A version a.b.c.d as the version resource holds it.
struct VersionNumber {
    uint32_t high;  // a << 16 | b
    uint32_t low;   // c << 16 | d
};

// Parses a required version "a.b.c.d": parts split at "." (empty parts are skipped as
// list tokens are), each read as the decimal digits it begins with (no digits: 0; more
// than 65535: 65535), missing parts 0, parts after the fourth ignored.
VersionNumber ParseRequiredVersion(const char* text);

// The installed version is at least the required one.
bool VersionSatisfies(VersionNumber installed, VersionNumber required);

// One token of NoDownloadIfFilesExist: "file" or "file:version"; a version beginning
// with "#" is compared with the file version, otherwise with the product version.
struct FileRequirement {
    const char* fileName;
    const char* version;  // without the "#"; nullptr when the token has no colon
    bool useFileVersion;
};

// Splits token in place (the first colon becomes NUL).
FileRequirement SplitFileRequirement(char* token);

// The Size column: "<n>KB" for a nonzero size, empty for 0.
void FormatSizeCell(uint32_t sizeKB, char* out, size_t size);

// Cuts the executable's path to the directory a cdrom component reads from: at the last
// backslash, keeping it when it is the root of a drive ("D:\setup.exe" gives "D:\"). A
// path without a backslash stays whole.
void CutToSourceDirectory(char* path);

// The allowintervention value turns intervention off only when it is exactly "FALSE".
bool DisallowsIntervention(const char* value);
