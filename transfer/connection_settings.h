// The connection settings that the HTTP worker found to work in a run: the run owns
// them (InstallerRun), the worker fills them in, and the installation records the proxy.
#pragma once

#include <stddef.h>

constexpr size_t httpFieldSize = 260;

// The proxy and site credentials that worked, for the rest of the run. The proxy
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
