// The system's SSPI (secur32, or security on the oldest systems), loaded from the system
// folder by the features that use it: TLS and the log-on to proxies and servers.
#pragma once

#define SECURITY_WIN32
#include "common/win32.h"

#include <security.h>

// Loads the library into library and returns its function table; null (library then
// null too, or to be freed by the caller) when the system has no SSPI.
PSecurityFunctionTableA LoadSecurityInterface(HMODULE& library);
