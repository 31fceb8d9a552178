// The manifest list for the Win32 shell, which also reads manifest files from disk
// (ManifestList::Load, defined in manifest_win.cpp).
#pragma once

#include "common/win32.h"
#include "transfer/manifest.h"

// Reads a whole file of at most limit bytes into memory, to be freed with free. Null when
// it cannot be opened or read, is larger than limit, or memory runs out; opened, when
// given, tells whether it could be opened at all.
char* ReadSmallFile(const char* path, size_t limit, size_t& size, bool* opened = nullptr);
