// Shell links read through the shell link object, and the Startup folder paths.
#include "driver/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

// Initialises COM for the calling thread for as long as it lives, if it was not already.
class ComScope {
public:
    ComScope() : initialised(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialised) CoUninitialize();
    }

private:
    bool initialised;
};

}  // namespace

bool ReadShellLink(const std::string& path, ShellLinkContents* contents) {
    ComScope com;
    wchar_t widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) == 0) return false;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    bool read = false;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        char target[MAX_PATH] = {};
        char arguments[1024] = {};
        // The raw path is the one that was stored, without resolving the target again.
        if (SUCCEEDED(file->Load(widePath, STGM_READ)) &&
            SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
            SUCCEEDED(link->GetArguments(arguments, sizeof(arguments)))) {
            contents->target = target;
            contents->arguments = arguments;
            read = true;
        }
        file->Release();
    }
    link->Release();
    return read;
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = {};
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator))) return std::string();
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) {
        if (!SHGetPathFromIDListA(items, path)) path[0] = 0;
        allocator->Free(items);
    }
    allocator->Release();
    return path;
}

std::string UserStartupFolder() { return SpecialFolder(CSIDL_STARTUP); }

std::string CommonStartupFolder() { return SpecialFolder(CSIDL_COMMON_STARTUP); }
