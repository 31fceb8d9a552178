// The libraries the image does not import outright: the linker's delay-load helper calls
// the hook below before it loads one, and the hook loads it from the system folder by its
// full path, or, for the common controls of version 6 that the image's manifest asks for,
// from the system's side-by-side store. Nothing about them then depends on the search
// order, not even on systems that cannot narrow it.
#include "shell/system_libraries_win.h"

#include <delayimp.h>

#include "common/text.h"

namespace {

// The libraries loaded on first use from the system folder by full path.
const char* const kSystemFolderLibraries[] = {"version.dll", "wsock32.dll"};
// The common controls of version 6 (visual styles) live in the side-by-side store, not in
// the system folder, which holds version 5; only a load by bare name is redirected there
// by the manifest's dependency, a load by full path never is.
const char kCommonControls[] = "comctl32.dll";

bool IsSystemFolderLibrary(const char* name) {
    for (const char* known : kSystemFolderLibraries)
        if (EqualsIgnoringCase(name, known)) return true;
    return false;
}

// Whether the activation context in force (the image's manifest, when no other is) sends
// a load of name by bare name to an assembly. Windows applies that redirection before the
// loaded modules, the known libraries and the application's folder are looked at; a
// manifest makes it ignore "<image>.local" redirection; and a dependency with a public
// key is looked for in the system's store before the application's folder, and every
// Windows with a store has version 6 of the common controls in it. So such a load cannot
// reach a copy planted beside the installer, without resting on the known-library list,
// which does not hold comctl32 on every targeted Windows. Looked up: the call came with XP.
bool IsRedirectedByManifest(const char* name) {
    typedef BOOL(WINAPI * FindSectionProc)(DWORD, const GUID*, ULONG, LPCSTR,
                                           PACTCTX_SECTION_KEYED_DATA);
    FindSectionProc findSection;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr || !FindExport(kernel, "FindActCtxSectionStringA", findSection))
        return false;
    ACTCTX_SECTION_KEYED_DATA found = {};
    found.cbSize = sizeof(found);
    return findSection(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &found) !=
           FALSE;
}

// The common controls from the store when the manifest's dependency is in force, else
// (no side-by-side store, or no version 6 in it) version 5 from the system folder.
HMODULE LoadCommonControls() {
    if (IsRedirectedByManifest(kCommonControls)) {
        HMODULE redirected = LoadLibraryA(kCommonControls);
        if (redirected != nullptr) return redirected;
    }
    return LoadSystemLibrary(kCommonControls);
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
    HMODULE library = nullptr;
    if (EqualsIgnoringCase(info->szDll, kCommonControls))
        library = LoadCommonControls();
    else if (IsSystemFolderLibrary(info->szDll))
        library = LoadSystemLibrary(info->szDll);
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
