// The manifest list for the Win32 shell, which also reads manifest files from disk
// (ManifestList::Load, defined in manifest_win.cpp).
#pragma once

#include "common/win32.h"
#include "transfer/manifest.h"
