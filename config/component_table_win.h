// The component table: the components that descriptions declare, one per row of the
// download dialog's list, with the questions the rest of the run asks about them.
#pragma once

#include <stdint.h>

#include "common/limits.h"
#include "common/win32.h"
#include "config/component_rules.h"

class DownloadDialog;
class VerifiedFiles;

// One accepted component section. The display name lives only as the row's text;
// every other key is read from the description when needed.
struct Component {
    char* workDirectory;  // the run's, shared
    const VerifiedFiles* verifiedFiles;  // the run's, shared
    char descriptionPath[260];
    char sectionName[kSectionNameSize];
    uint32_t sizeKB;
    int32_t displayOrder;
    int32_t installOrder;
    int32_t status;  // ComponentStatus
};

// Reads the description named on the command line, or extracts the payload and reads
// every description in it; then sorts the rows by display order. Returns 1, or 0 when
// the payload could not be extracted: message 596 was shown and the dialog ended.
int LoadDescriptions(DownloadDialog& dialog);
// Reads one description: allowintervention, its string sections, its components.
void ReadDescription(DownloadDialog& dialog, const char* path);
// Adds the row of a component section; 0 when the section is ignored.
int AddComponent(DownloadDialog& dialog, const char* section, const char* path);

void ClassifyComponent(Component& component);
bool IsInstalled(const Component& component);
bool IsDownloaded(const Component& component);
ProtocolKind GetProtocol(const Component& component);
void GetSourceDirectory(const Component& component, char* out, size_t size);
// Source directory, backslash, name; false when the path does not fit (out is then empty).
bool GetSourcePath(const Component& component, const char* name, char* out, size_t size);
void StatusText(const Component& component, char* out, size_t size);
// Moves on to the next row that needs a download and has a site; false when none is left.
bool SelectNextDownload(DownloadDialog& dialog);

// Reads a text key of the component's section (with substitution).
void ReadComponentValue(const Component& component, const char* key, const char* defaultText,
                        char* out, size_t size);
