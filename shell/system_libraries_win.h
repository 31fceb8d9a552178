// Where the system libraries the installer uses come from. Those the system always takes
// from its own folder are imported by the image; the others (version, wsock32, comctl32)
// are loaded on their first call, by their full path in the system folder, so that a
// library of the same name beside the installer (the user's downloads) is never loaded.
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
