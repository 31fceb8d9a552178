// The component table: reading descriptions into rows, the installed and downloaded
// tests, and the choice of the next download.
#include "config/component_table_win.h"

#include <stdlib.h>

#include "config/component_authenticity_win.h"
#include "config/installed_file.h"
#include "config/payload_archive_win.h"
#include "config/profile_win.h"
#include "config/string_table.h"
#include "ui/download_dialog_win.h"
#include "shell/resource_ids.h"

namespace {

const char listDelimiters[] = ", ";
// The version resource is read into a fixed buffer; a larger one fails the test.
const DWORD versionBufferSize = 2048;

void ReadDescriptionHandler(void* context, const char* path) {
    ReadDescription(*static_cast<DownloadDialog*>(context), path);
}

int CALLBACK CompareDisplayOrder(LPARAM a, LPARAM b, LPARAM) {
    int32_t left = reinterpret_cast<Component*>(a)->displayOrder;
    int32_t right = reinterpret_cast<Component*>(b)->displayOrder;
    // The sign of the difference, without the overflow of subtracting extreme values.
    return left < right ? -1 : (left > right ? 1 : 0);
}

void SetRowText(HWND listView, int row, int column, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(listView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
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

int LoadDescriptions(DownloadDialog& dialog) {
    if (dialog.descriptionPath != nullptr) {
        ReadDescription(dialog, dialog.descriptionPath);
    } else if (!ExtractPayload(dialog.workDirectory, ReadDescriptionHandler, &dialog)) {
        char caption[100], text[512];
        HINSTANCE instance = GetFrameworkInstance();
        if (LoadStringA(instance, IDS_EXTRACT_TITLE, caption, countof(caption)) == 0)
            caption[0] = '\0';
        if (LoadStringA(instance, IDS_EXTRACT_ERROR, text, countof(text)) == 0) text[0] = '\0';
        MessageBoxA(nullptr, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
        EndDialog(dialog.windowHandle, IDC_SECOND_CHOICE);
        return 0;
    }
    SendMessageA(dialog.listView, LVM_SORTITEMS, 0,
                 reinterpret_cast<LPARAM>(CompareDisplayOrder));
    return 1;
}

void ReadDescription(DownloadDialog& dialog, const char* path) {
    char value[256];
    ReadValue("defs", "allowintervention", "TRUE", value, countof(value), path);
    if (DisallowsIntervention(value)) dialog.allowIntervention = 0;

    ReadValue("defs", "strings", "", value, countof(value), path);
    char* cursor = value;
    while (char* section = NextToken(&cursor, listDelimiters)) AddStringSection(section, path);

    ReadValue("defs", "components", "", value, countof(value), path);
    cursor = value;
    while (char* section = NextToken(&cursor, listDelimiters)) AddComponent(dialog, section, path);
}

int AddComponent(DownloadDialog& dialog, const char* section, const char* path) {
    Component probe = {};
    // Later reads go through the stored section name, so a name that does not fit
    // would read another section: such a component is ignored.
    if (!CopyText(probe.sectionName, section)) return 0;
    if (!CopyText(probe.descriptionPath, path)) return 0;

    char name[200];
    ReadValue(section, "name", "", name, countof(name), path);
    if (name[0] == '\0') return 0;
    if (ReadInt(section, "enable", 1, path) == 0) return 0;

    Component* component = static_cast<Component*>(malloc(sizeof(Component)));
    if (component == nullptr) return 0;
    *component = probe;
    component->workDirectory = dialog.workDirectory;
    component->verifiedFiles = &dialog.verifiedFiles;
    component->sizeKB = static_cast<uint32_t>(ReadInt(section, "size", 0, path));
    component->displayOrder = ReadInt(section, "DisplayOrder", 100, path);
    component->installOrder = ReadInt(section, "InstallOrder", 100, path);
    component->status = NeedsDownload;
    ClassifyComponent(*component);

    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = dialog.componentCount;
    item.pszText = name;
    item.lParam = reinterpret_cast<LPARAM>(component);
    int row = static_cast<int>(
        SendMessageA(dialog.listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) {
        free(component);
        return 0;
    }
    char sizeText[16];
    FormatSizeCell(component->sizeKB, sizeText, countof(sizeText));
    if (sizeText[0] != '\0') SetRowText(dialog.listView, row, 1, sizeText);
    char status[100];
    StatusText(*component, status, countof(status));
    SetRowText(dialog.listView, row, 2, status);
    ++dialog.componentCount;
    return 1;
}

void ClassifyComponent(Component& component) {
    if (IsInstalled(component))
        component.status = AlreadyInstalled;
    else if (IsDownloaded(component))
        component.status = Downloaded;
}

bool IsInstalled(const Component& component) {
    char objects[400], files[400];
    ReadComponentValue(component, "NoDownloadIfObjectsExist", "", objects, countof(objects));
    ReadComponentValue(component, "NoDownloadIfFilesExist", "", files, countof(files));
    if (objects[0] == '\0' && files[0] == '\0') return false;
    if (objects[0] != '\0' && !ObjectsExist(objects)) return false;
    if (files[0] != '\0' && !FilesExist(files)) return false;
    return true;
}

bool IsDownloaded(const Component& component) {
    char files[300];
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
    char protocol[40];
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
    if (LoadStringA(GetFrameworkInstance(), StatusStringId(component.status), out,
                    static_cast<int>(size)) == 0)
        out[0] = '\0';
}

bool SelectNextDownload(DownloadDialog& dialog) {
    if (dialog.currentIndex >= 0) dialog.SetCurrentStatus(Downloaded);
    for (++dialog.currentIndex; dialog.currentIndex < dialog.componentCount;
         ++dialog.currentIndex) {
        Component* component = dialog.GetComponent(dialog.currentIndex);
        dialog.currentComponent = component;
        if (component == nullptr || component->status != NeedsDownload) continue;
        ReadComponentValue(*component, "files", "", dialog.fileList, countof(dialog.fileList));
        dialog.fileCursor = dialog.fileList;
        dialog.fileIndex = -1;
        ReadComponentValue(*component, "site", "", dialog.site, countof(dialog.site));
        ReadComponentValue(*component, "proxy", "", dialog.proxy, countof(dialog.proxy));
        ReadComponentValue(*component, "port", "", dialog.port, countof(dialog.port));
        if (dialog.site[0] == '\0') {
            dialog.SetCurrentStatus(DownloadError);
            continue;
        }
        ReadComponentValue(*component, "sourceDir", "", dialog.sourceDir,
                           countof(dialog.sourceDir));
        dialog.SetCurrentStatus(Downloading);
        return true;
    }
    return false;
}
