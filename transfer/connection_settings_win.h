// The request by which the HTTP worker's fetch thread asks the user for connection
// settings when no rung of its ladder worked.
#pragma once

#include "common/win32.h"
#include "transfer/connection_settings.h"

// lParam of the message msgHttpSettingsWanted, sent by the fetch thread to the
// controller's window, whose (the interface) thread shows "HTTP Settings" and answers
// nonzero when the fetch is to try again with the settings it leaves in *settings, zero
// when the user cancelled (also when the window does not know the message).
struct HttpSettingsRequest {
    ConnectionSettings* settings;  // shown, then what the user entered
    const char* siteBase;          // "host[:port]/" and ...
    const char* remotePath;        // ... the package's directory: the address shown
    // Raised when the run ends (the worker aborts): the dialog then closes as Cancel.
    volatile LONG* cancelFlag;
};
