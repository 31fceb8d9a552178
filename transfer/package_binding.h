// What a signed package says it is. The signed manifest's section [package] names the
// file the package is installed as (name=) and may give its release number (version=, a
// whole number that grows with each release) and the last day it may be installed
// (expires=YYYY-MM-DD, UTC, that day included). With a key in force the installer takes a
// package only when that section fits the file it asked for; installers that do not know
// the section ignore it.
#pragma once

#include <stdint.h>

#include "transfer/manifest.h"

extern const char kPackageSection[];     // "package"
extern const char kPackageNameKey[];     // "name"
extern const char kPackageVersionKey[];  // "version"
extern const char kPackageExpiresKey[];  // "expires"

// A release number has at most this many digits: it always fits 64 bits.
const unsigned kMaxPackageVersionDigits = 18;

enum PackageBinding {
    PackageBound,
    PackageWrongName,     // the package is another file
    PackageBelowMinimum,  // older than the component requires, or it gives no version
    PackageExpired,
    PackageBindingMalformed,  // [package] without name, or a version or date that is none
};

// What the component asks of its package. today is the current UTC date as YYYYMMDD.
struct PackageRequirement {
    const char* fileName = "";  // as the component lists it; only its last path element counts
    bool hasMinVersion = false;
    uint64_t minVersion = 0;
    uint32_t today = 0;
};

// A whole number: 1 to kMaxPackageVersionDigits decimal digits, nothing else.
bool ParsePackageVersion(const char* text, uint64_t* version);
// A calendar date written YYYY-MM-DD (year 0001 to 9999) as the number YYYYMMDD; false
// for anything else, 2026-02-30 included.
bool ParsePackageDate(const char* text, uint32_t* date);
// The component's minVersion: none when text is empty, else the number; text that is no
// whole number asks for more than any package gives, so that nothing is taken unchecked.
void SetMinimumVersion(const char* text, PackageRequirement* wanted);

// A manifest without [package], signed before packages named themselves, is accepted
// unless the component requires a version: then none is signed, and it is refused.
PackageBinding CheckPackageBinding(const ManifestList& manifest, const PackageRequirement& wanted);
