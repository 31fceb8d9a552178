// Loading the SSPI library and its function table.
#include "transfer/sspi_library_win.h"

#include "shell/system_libraries_win.h"

PSecurityFunctionTableA LoadSecurityInterface(HMODULE& library) {
    library = LoadSystemLibrary("secur32.dll");
    if (library == nullptr) library = LoadSystemLibrary("security.dll");
    if (library == nullptr) return nullptr;
    // FARPROC stands for any export; going through void* says so without a warning.
    auto initialize = reinterpret_cast<INIT_SECURITY_INTERFACE_A>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitSecurityInterfaceA")));
    return initialize != nullptr ? initialize() : nullptr;
}
