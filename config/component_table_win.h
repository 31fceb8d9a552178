// The component table: the components that descriptions declare, read into the run,
// with the questions the rest of the run asks about them.
#pragma once

#include "common/win32.h"
#include "config/component_rules.h"
#include "config/installer_run.h"

enum DescriptionLoad {
    DescriptionsRead,
    PayloadDamaged,  // a record could not be extracted
    NoDescription,   // the payload holds no ".inf" record, or there is no payload at all
};

// Reads the description named on the command line, or extracts the payload and reads
// every description in it; then sorts the components by display order.
DescriptionLoad LoadDescriptions(InstallerRun& run);
// Reads one description: allowintervention, its string sections, its components.
void ReadDescription(InstallerRun& run, const char* path);
// Adds a component section to the run; false when the section is ignored.
bool AddComponent(InstallerRun& run, const char* section, const char* path);

void ClassifyComponent(Component& component);
bool IsInstalled(const Component& component);
bool IsDownloaded(const Component& component);
ProtocolKind GetProtocol(const Component& component);
void GetSourceDirectory(const Component& component, char* out, size_t size);
// Source directory, backslash, name; false when the path does not fit (out is then empty).
bool GetSourcePath(const Component& component, const char* name, char* out, size_t size);
void StatusText(const Component& component, char* out, size_t size);

// Reads a text key of the component's section (with substitution).
void ReadComponentValue(const Component& component, const char* key, const char* defaultText,
                        char* out, size_t size);
