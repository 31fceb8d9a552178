// The component table: reading descriptions into the run, the installed and downloaded
// tests, and the choice of the next download.
#include "config/component_table_win.h"

#include <stdlib.h>

#include "common/run_log_win.h"
#include "common/limits.h"
#include "common/resource_string_win.h"
#include "config/component_authenticity_win.h"
#include "config/installed_file.h"
#include "config/payload_archive_win.h"
#include "config/profile_win.h"
#include "config/string_table.h"
#include "shell/window_win.h"

namespace {

const char listDelimiters[] = ", ";
// The version resource is read into a fixed buffer; a larger one fails the test.
const DWORD versionBufferSize = 2048;

struct PayloadDescriptions {
    InstallerRun* run;
    int read;
};

void ReadDescriptionHandler(void* context, const char* path) {
    PayloadDescriptions* descriptions = static_cast<PayloadDescriptions*>(context);
    ReadDescription(*descriptions->run, path);
    ++descriptions->read;
}

// Every listed class id has a key under HKEY_CLASSES_ROOT\CLSID.
bool ObjectsExist(char* list) {
    HKEY classes = nullptr;
    // An unopenable CLSID key counts as passed.
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &classes) != ERROR_SUCCESS) return true;
    bool passed = true;
    char* cursor = list;
    while (char* classId = NextToken(&cursor, listDelimiters)) {
        if (RegQueryValueA(classes, classId, nullptr, nullptr) != ERROR_SUCCESS) {
            passed = false;
            break;
        }
    }
    RegCloseKey(classes);
    return passed;
}

bool InstalledVersion(const char* path, bool fileVersion, VersionNumber& version) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size < 1 || size > versionBufferSize) return false;
    char buffer[versionBufferSize];
    if (!GetFileVersionInfoA(path, 0, size, buffer)) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(buffer, "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr)
        return false;
    version.high = fileVersion ? info->dwFileVersionMS : info->dwProductVersionMS;
    version.low = fileVersion ? info->dwFileVersionLS : info->dwProductVersionLS;
    return true;
}

// Every listed file is found along the search path, at the version asked for.
// Each file is looked for only where the description names it (a full path, else the
// system folder): the search path would also find a file planted in the current
// directory.
bool FilesExist(char* list) {
    char systemDirectory[260];
    UINT length = GetSystemDirectoryA(systemDirectory, countof(systemDirectory));
    if (length == 0 || length >= countof(systemDirectory)) systemDirectory[0] = '\0';
    char* cursor = list;
    while (char* token = NextToken(&cursor, listDelimiters)) {
        FileRequirement requirement = SplitInstalledFileToken(token);
        char found[260];
        if (!BuildInstalledFilePath(requirement.fileName, systemDirectory, found, countof(found)))
            return false;
        DWORD attributes = GetFileAttributesA(found);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        if (requirement.version == nullptr) continue;
        VersionNumber installed;
        if (!InstalledVersion(found, requirement.useFileVersion, installed)) return false;
        if (!VersionSatisfies(installed, ParseRequiredVersion(requirement.version))) return false;
    }
    return true;
}

}  // namespace

void ReadComponentValue(const Component& component, const char* key, const char* defaultText,
                        char* out, size_t size) {
    ReadValue(component.sectionName, key, defaultText, out, size, component.descriptionPath);
}

DescriptionLoad LoadDescriptions(InstallerRun& run) {
    PayloadDescriptions descriptions = {&run, 0};
    if (run.descriptionPath != nullptr) {
        ReadDescription(run, run.descriptionPath);
        descriptions.read = 1;
    } else if (!ExtractPayload(run.workDirectory, ReadDescriptionHandler, &descriptions,
                               &run.verifiedFiles)) {
        return PayloadDamaged;
    }
    run.SortByDisplayOrder();
    return descriptions.read > 0 ? DescriptionsRead : NoDescription;
}

void ReadDescription(InstallerRun& run, const char* path) {
    LogEvent("description read: %s", LastPathElement(path));
    char value[kDefsValueSize];
    ReadValue("defs", "allowintervention", "TRUE", value, countof(value), path);
    if (DisallowsIntervention(value)) run.allowIntervention = false;

    ReadValue("defs", "strings", "", value, countof(value), path);
    char* cursor = value;
    while (char* section = NextToken(&cursor, listDelimiters)) AddStringSection(section, path);

    ReadValue("defs", "components", "", value, countof(value), path);
    cursor = value;
    while (char* section = NextToken(&cursor, listDelimiters)) AddComponent(run, section, path);
}

bool AddComponent(InstallerRun& run, const char* section, const char* path) {
    Component component = {};
    // Later reads go through the stored section name, so a name that does not fit
    // would read another section: such a component is ignored.
    if (!CopyText(component.sectionName, section) || !CopyText(component.descriptionPath, path)) {
        LogEvent("component section %s: skipped, its name is too long", section);
        return false;
    }

    ReadValue(section, "name", "", component.name, countof(component.name), path);
    if (component.name[0] == '\0') {
        LogEvent("component section %s: skipped, it has no name", section);
        return false;
    }
    if (ReadInt(section, "enable", 1, path) == 0) {
        LogEvent("component '%s': skipped, enable=0", component.name);
        return false;
    }

    component.workDirectory = run.workDirectory;
    component.verifiedFiles = &run.verifiedFiles;
    component.sizeKB = static_cast<uint32_t>(ReadInt(section, "size", 0, path));
    component.displayOrder = ReadInt(section, "DisplayOrder", kDefaultOrder, path);
    component.installOrder = ReadInt(section, "InstallOrder", kDefaultOrder, path);
    component.status = NeedsDownload;
    ClassifyComponent(component);
    static const char* const decisions[] = {"already installed", "present: nothing to download",
                                            "to download"};
    bool added = run.AddComponent(component);
    LogEvent("component '%s': %s", component.name,
             !added ? "skipped, the run holds no more components" : decisions[component.status]);
    return added;
}

void ClassifyComponent(Component& component) {
    if (IsInstalled(component))
        component.status = AlreadyInstalled;
    else if (IsDownloaded(component))
        component.status = Downloaded;
}

bool IsInstalled(const Component& component) {
    char objects[kObjectListSize], files[kRequiredFileListSize];
    ReadComponentValue(component, "NoDownloadIfObjectsExist", "", objects, countof(objects));
    ReadComponentValue(component, "NoDownloadIfFilesExist", "", files, countof(files));
    if (objects[0] == '\0' && files[0] == '\0') return false;
    if (objects[0] != '\0' && !ObjectsExist(objects)) return false;
    if (files[0] != '\0' && !FilesExist(files)) return false;
    return true;
}

bool IsDownloaded(const Component& component) {
    char files[kFileListSize];
    ReadComponentValue(component, "files", "", files, countof(files));
    if (files[0] == '\0') return false;
    char* cursor = files;
    size_t index = 0;
    while (char* name = NextToken(&cursor, listDelimiters)) {
        char path[260];
        if (!GetSourcePath(component, name, path, countof(path))) return false;
        // Files copied from a folder or a disc are checked against their pins right
        // before they are installed; fetched ones count only when they match.
        bool fetched = IsNetworkProtocol(GetProtocol(component));
        if (fetched ? !PresentFileCounts(component, index, path)
                    : GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            return false;
        ++index;
    }
    return true;
}

ProtocolKind GetProtocol(const Component& component) {
    char protocol[kProtocolSize];
    ReadComponentValue(component, "Protocol", kDefaultProtocol, protocol, countof(protocol));
    return ProtocolFromText(protocol);
}

void GetSourceDirectory(const Component& component, char* out, size_t size) {
    switch (GetProtocol(component)) {
    case ProtocolCopy:
        ReadComponentValue(component, "SourceDir", "", out, size);
        break;
    case ProtocolCdrom: {
        char path[260];
        DWORD n = GetModuleFileNameA(nullptr, path, countof(path));
        if (n == 0 || n >= countof(path)) path[0] = '\0';
        CutToSourceDirectory(path);
        CopyTextN(out, size, path);
        break;
    }
    default:
        CopyTextN(out, size, component.workDirectory);
        break;
    }
}

bool GetSourcePath(const Component& component, const char* name, char* out, size_t size) {
    GetSourceDirectory(component, out, size);
    // A path that does not fit would name another file: it is refused whole.
    if (AppendTextN(out, size, "\\") && AppendTextN(out, size, name)) return true;
    if (size > 0) out[0] = '\0';
    return false;
}

void StatusText(const Component& component, char* out, size_t size) {
    if (size == 0) return;
    LoadResourceString(GetFrameworkInstance(), StatusStringId(component.status), out, size);
}
