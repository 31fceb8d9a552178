// The window framework's module instance (the full framework builds on this).
#pragma once

#include "common/win32.h"

// Hands the module instance to the framework: every window class, dialog and
// resource of the framework is taken from it.
void SetInstance(HINSTANCE instance);
HINSTANCE GetFrameworkInstance();
