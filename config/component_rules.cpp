// Pure decisions of the component table.
#include "config/component_rules.h"

#include "common/limits.h"
#include "common/text.h"
#include "config/string_table.h"
#include "shell/resource_ids.h"
#include "transfer/http_request.h"

#include <string.h>

namespace {

// In the order of ComponentStatus.
const unsigned kStatusStringIds[] = {IDS_STATUS_ALREADY_INSTALLED, IDS_STATUS_DOWNLOADED,
                                     IDS_STATUS_NEEDS_DOWNLOAD,    IDS_STATUS_DOWNLOAD_ERROR,
                                     IDS_STATUS_DOWNLOADING,       IDS_STATUS_EXTRACTING,
                                     IDS_STATUS_INSTALLING,        IDS_STATUS_INSTALL_DONE};

// A version text comes from a NoDownloadIfFilesExist list, which is read into this size.
constexpr size_t kVersionTextSize = kRequiredFileListSize;
constexpr uint32_t kMaxVersionPart = 0xFFFF;
constexpr int kVersionParts = 4;

// The decimal digits text begins with, held at kMaxVersionPart so that one part cannot
// spill into its neighbour when the parts are packed in pairs.
uint32_t ReadVersionPart(const char* text) {
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint32_t>(*text - '0');
        if (value > kMaxVersionPart) return kMaxVersionPart;
    }
    return value;
}

}  // namespace

ProtocolKind ProtocolFromText(const char* text) {
    if (EqualsIgnoringCase(text, "copy")) return ProtocolCopy;
    if (EqualsIgnoringCase(text, "cdrom")) return ProtocolCdrom;
    if (EqualsIgnoringCase(text, "ftp")) return ProtocolFtp;
    if (strcmp(text, "http") == 0) return ProtocolHttp;
    return ProtocolSelfExtract;
}

unsigned StatusStringId(int32_t status) {
    if (status < 0 || static_cast<size_t>(status) >= countof(kStatusStringIds)) {
        return kNoStatusString;
    }
    return kStatusStringIds[status];
}

VersionNumber ParseRequiredVersion(const char* text) {
    char buffer[kVersionTextSize];
    CopyText(buffer, text);
    uint32_t parts[kVersionParts] = {0, 0, 0, 0};
    char* cursor = buffer;
    for (int i = 0; i < kVersionParts; ++i) {
        const char* token = NextToken(&cursor, ".");
        if (token == nullptr) break;
        parts[i] = ReadVersionPart(token);
    }
    return VersionNumber{parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

bool VersionSatisfies(VersionNumber installed, VersionNumber required) {
    if (installed.high != required.high) return installed.high > required.high;
    return installed.low >= required.low;
}

bool SiteCanBeDownloaded(const char* site) {
    if (site[0] == '\0') return false;
    site += SiteSchemeLength(site);
    // The port is found where the URL parser finds it.
    const char* colon = strchr(site, ':');
    unsigned short port;
    return colon == nullptr || ParsePortAfterColon(colon, &port);
}

FileRequirement SplitFileRequirement(char* token) {
    FileRequirement result = {token, nullptr, false};
    char* colon = strchr(token, ':');
    if (colon == nullptr) return result;
    *colon = '\0';
    result.version = colon + 1;
    if (*result.version == '#') {
        result.useFileVersion = true;
        ++result.version;
    }
    return result;
}

void FormatSizeCell(uint32_t sizeKB, char* out, size_t size) {
    if (size == 0) return;
    if (sizeKB == 0) {
        out[0] = '\0';
        return;
    }
    // The size is read as a profile integer: a negative number in the file shows as such.
    if (!FormatDecimal(out, size, static_cast<int32_t>(sizeKB)) || !AppendTextN(out, size, "KB"))
        out[0] = '\0';
}

void CutToSourceDirectory(char* path) {
    char* backslash = strrchr(path, '\\');
    if (backslash == nullptr) return;
    bool keepsRoot = backslash == path || backslash[-1] == ':';
    if (keepsRoot) {
        backslash[1] = '\0';
    } else {
        *backslash = '\0';
    }
}

bool DisallowsIntervention(const char* value) { return strcmp(value, "FALSE") == 0; }

SourceVerdict JudgeSource(const SourceTrust& trust) {
    if (!IsNetworkProtocol(trust.protocol) || !trust.keyInForce) return SourceVerdict::Checked;
    bool checked = trust.protocol == ProtocolHttp ? trust.signedPackage : trust.pinned;
    if (checked) return SourceVerdict::Checked;
    return trust.allowUnverified ? SourceVerdict::Unverified : SourceVerdict::Refused;
}

bool AllowsUnverified(const char* value) { return EqualsIgnoringCase(value, "TRUE"); }
