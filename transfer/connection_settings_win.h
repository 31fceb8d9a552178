// The connection settings that the HTTP worker found to work, and the request by which
// its fetch thread asks the user for them when no rung of its ladder worked.
#pragma once

#include "common/win32.h"

constexpr size_t httpFieldSize = 260;

// The proxy and site credentials that worked, for the rest of the process. The proxy
// carries over to every later site; the site's user and password only to the same host
// and port (siteHost).
struct ConnectionSettings {
    char proxyHost[httpFieldSize];
    char proxyPort[httpFieldSize];
    char proxyUser[httpFieldSize];
    char proxyPassword[httpFieldSize];
    char siteUser[httpFieldSize];
    char sitePassword[httpFieldSize];
    int confirmed;                 // a manifest has been fetched with these settings; never cleared
    char siteHost[httpFieldSize];  // "host[:port]" the site credentials were given for
};
extern ConnectionSettings connectionSettings;

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
