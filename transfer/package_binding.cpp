// The check of a signed manifest's [package] section against the file asked for.
#include "transfer/package_binding.h"

#include "common/text.h"

const char kPackageSection[] = "package";
const char kPackageNameKey[] = "name";
const char kPackageVersionKey[] = "version";
const char kPackageExpiresKey[] = "expires";

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exactly count digits at text, as a number.
bool ReadDigits(const char* text, unsigned count, unsigned* value) {
    *value = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (!IsDigit(text[i])) return false;
        *value = *value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

bool ParsePackageVersion(const char* text, uint64_t* version) {
    uint64_t value = 0;
    unsigned digits = 0;
    for (; IsDigit(text[digits]); ++digits) {
        if (digits == kMaxPackageVersionDigits) return false;
        value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
    }
    if (digits == 0 || text[digits] != '\0') return false;
    *version = value;
    return true;
}

bool ParsePackageDate(const char* text, uint32_t* date) {
    unsigned year, month, day;
    if (!ReadDigits(text, 4, &year) || text[4] != '-' || !ReadDigits(text + 5, 2, &month) ||
        text[7] != '-' || !ReadDigits(text + 8, 2, &day) || text[10] != '\0')
        return false;
    if (year == 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    *date = year * 10000 + month * 100 + day;
    return true;
}

void SetMinimumVersion(const char* text, PackageRequirement* wanted) {
    wanted->hasMinVersion = text[0] != '\0';
    wanted->minVersion = 0;
    if (wanted->hasMinVersion && !ParsePackageVersion(text, &wanted->minVersion))
        wanted->minVersion = UINT64_MAX;
}

PackageBinding CheckPackageBinding(const ManifestList& manifest, const PackageRequirement& wanted) {
    if (!manifest.HasSection(kPackageSection))
        return wanted.hasMinVersion ? PackageBelowMinimum : PackageBound;
    // A stored line is never longer than this: a value always fits.
    char text[kManifestLineLength + 1];
    if (!manifest.GetText(kPackageSection, kPackageNameKey, text, sizeof text) || text[0] == '\0')
        return PackageBindingMalformed;
    bool rightName = EqualsIgnoringCase(text, LastPathElement(wanted.fileName));
    uint64_t version = 0;
    bool hasVersion = manifest.GetText(kPackageSection, kPackageVersionKey, text, sizeof text);
    if (hasVersion && !ParsePackageVersion(text, &version)) return PackageBindingMalformed;
    uint32_t expires = 0;
    bool hasExpiry = manifest.GetText(kPackageSection, kPackageExpiresKey, text, sizeof text);
    if (hasExpiry && !ParsePackageDate(text, &expires)) return PackageBindingMalformed;
    if (!rightName) return PackageWrongName;
    if (wanted.hasMinVersion && (!hasVersion || version < wanted.minVersion))
        return PackageBelowMinimum;
    if (hasExpiry && wanted.today > expires) return PackageExpired;
    return PackageBound;
}
