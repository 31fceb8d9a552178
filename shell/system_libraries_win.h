// Where the system libraries the installer uses come from. Those the system always takes
// from its own folder are imported by the image; the others (version, wsock32, comctl32)
// are loaded on their first call, by their full path in the system folder (comctl32 of
// version 6 from the side-by-side store, where the manifest's dependency sends it), so
// that a library of the same name beside the installer (the user's downloads) is never
// loaded.
#pragma once

#include "common/win32.h"

// Narrows the search of libraries loaded by bare name to the system folder where the
// system can, and leaves the current directory and PATH out where only that is possible.
// Called first thing at start; it also links in the loader of the libraries loaded on
// first use.
void RestrictLibrarySearch();

// Loads "<system folder>\<name>" by its full path (its own imports found beside it);
// nullptr when it is missing. For libraries the installer uses only when a feature needs
// them, released with FreeLibrary.
HMODULE LoadSystemLibrary(const char* name);

// The export name of module as a function pointer of type Proc; false when it has none.
template <typename Proc>
bool FindExport(HMODULE module, const char* name, Proc& proc) {
    // FARPROC stands for any export; going through void* says so without a warning.
    proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return proc != nullptr;
}
