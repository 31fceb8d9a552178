// Module instance of the window framework.
#include "ui/window_win.h"

namespace {
HINSTANCE frameworkInstance = nullptr;
}

void SetInstance(HINSTANCE instance) { frameworkInstance = instance; }

HINSTANCE GetFrameworkInstance() { return frameworkInstance; }
