// Finds the HTTP proxy that the user configured in a web browser.
#pragma once

#include "common/win32.h"

// Consults, in this order, Navigator's prefs.js of the current profile, Navigator's
// proxy settings in the registry and Internet Explorer's Internet Settings, all of the
// current user; nothing is written anywhere. True with the proxy host in host
// (possibly empty: the browser names no proxy) and its port as text in port (possibly
// empty; left as the caller filled it when prefs.js names a host but no port).
// False when no browser names a proxy; both buffers may then have been written. For a
// secure target (https), Internet Explorer's list per protocol gives its https entry
// where it has one; Navigator's http proxy serves both.
bool FindBrowserProxy(char* host, size_t hostSize, char* port, size_t portSize,
                      bool secure = false);
