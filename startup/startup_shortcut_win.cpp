// The Startup shortcut "Corvane Lite Installer.lnk", written through the shell link
// object so that the next log-on starts the installer again.
#include "startup/startup_shortcut_win.h"

#include "shell/app_win.h"

namespace {

const char shortcutName[] = "\\Corvane Lite Installer.lnk";

bool GetStartupFolder(char (&path)[260]) {
    int folder;
    switch (GetOsClass()) {
    case OsWindows9x:
        folder = CSIDL_STARTUP;
        break;
    case OsModernNt:
        folder = CSIDL_COMMON_STARTUP;
        break;
    default:
        folder = CSIDL_STARTUP;
        break;  // older NT and Win32s: the user's own folder
    }
    IMalloc* shellMalloc = nullptr;
    if (FAILED(SHGetMalloc(&shellMalloc))) return false;
    LPITEMIDLIST list = nullptr;
    bool found = false;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, folder, &list)) && list != nullptr) {
        found = SHGetPathFromIDListA(list, path) != FALSE;
        shellMalloc->Free(list);
    }
    shellMalloc->Release();
    return found;
}

void WriteShortcut(const char* linkPath, const char* target, const char* arguments) {
    OleInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR widePath[260];
            if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, countof(widePath)) > 0) {
                link->SetPath(target);
                link->SetArguments(arguments);
                file->Save(widePath, FALSE);
            }
            file->Release();
        }
        link->Release();
    }
    OleUninitialize();
}

}  // namespace

void SetStartupShortcut(bool create, const char* target, const char* arguments) {
    char path[260];
    if (!GetStartupFolder(path)) return;
    if (!AppendText(path, shortcutName)) return;
    if (!create) {
        DeleteFileA(path);
        return;
    }
    WriteShortcut(path, target, arguments);
}
