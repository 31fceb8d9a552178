// Loading the SSPI library and its function table.
#include "transfer/sspi_library_win.h"

#include "shell/system_libraries_win.h"

PSecurityFunctionTableA LoadSecurityInterface(HMODULE& library) {
    library = LoadSystemLibrary("secur32.dll");
    if (library == nullptr) library = LoadSystemLibrary("security.dll");
    if (library == nullptr) return nullptr;
    INIT_SECURITY_INTERFACE_A initialize = nullptr;
    return FindExport(library, "InitSecurityInterfaceA", initialize) ? initialize() : nullptr;
}
