// The libraries the image does not import outright: the linker's delay-load helper calls
// the hook below before it loads one, and the hook loads it from the system folder by its
// full path. Nothing about them then depends on the search order, not even on systems
// that cannot narrow it.
#include "shell/system_libraries_win.h"

#include <delayimp.h>

#include "common/text.h"

namespace {

// How each library loaded on first use is found. All come from the system folder by
// full path for now; a library that should instead follow the image's manifest (the
// common controls of a later version) would be loaded by bare name here, after the
// search has been narrowed.
const char* const kSystemFolderLibraries[] = {"version.dll", "wsock32.dll", "comctl32.dll"};

bool IsSystemFolderLibrary(const char* name) {
    for (const char* known : kSystemFolderLibraries)
        if (EqualsIgnoringCase(name, known)) return true;
    return false;
}

// A library missing from the system folder (or one not listed above) must not be left to
// the helper, which would look for it by bare name along the whole search path: its
// call fails as the helper fails a library that cannot be found anywhere (nothing
// handles that exception: the process ends).
void FailLibrary() {
    // The helper's own code for it: an error of the delay-load facility (0x6D), with
    // ERROR_MOD_NOT_FOUND (126).
    const DWORD moduleNotFound = 0xC06D007EU;
    RaiseException(moduleNotFound, 0, 0, nullptr);
}

FARPROC WINAPI BeforeDelayLoad(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    HMODULE library = IsSystemFolderLibrary(info->szDll) ? LoadSystemLibrary(info->szDll) : nullptr;
    if (library == nullptr) FailLibrary();  // does not return
    // The helper takes the module back through its generic function pointer.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(library));
}

}  // namespace

// Nothing about the path is left to the search order; the path not fitting is missing.
HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendTextN(path, MAX_PATH, "\\") ||
        !AppendTextN(path, MAX_PATH, name))
        return nullptr;
    // The library's own imports are looked for in its folder first, not beside us.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The helper's hook (declared with C linkage by delayimp.h), in force from the start:
// defining it here replaces the runtime's empty one.
PfnDliHook __pfnDliNotifyHook2 = BeforeDelayLoad;

// Libraries loaded by bare name come from the system folder only, never from the
// current directory or PATH. Both calls are looked up: SetDefaultDllDirectories came
// with Windows 8 (and updates of 7), SetDllDirectoryA with XP SP1; older systems start
// without either.
void RestrictLibrarySearch() {
    const DWORD searchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    // FARPROC stands for any export; going through void* says so without a warning.
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(searchSystem32)) return;
    auto setDirectory = reinterpret_cast<SetDllDirectoryProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory != nullptr) (void)setDirectory("");  // only narrows the search
}
