// The system's automatic proxy configuration for one URL: the PAC script that the
// browser settings name, or the one WPAD finds ("detect settings automatically"), run by
// WinHTTP's proxy resolver. WinHTTP is loaded at run time: where it is missing (the
// oldest systems) there is no automatic configuration.
#pragma once

#include <stddef.h>

#include "transfer/proxy_discovery.h"

// How long the resolver may take before its answer is given up: a script server that
// takes the connection and never answers would hold it for ever. Tests pass less.
extern const unsigned productAutoProxyMilliseconds;

// The proxies for url in their order (a direct connection among them where the script
// says DIRECT), into out; 0 when the settings ask for no automatic configuration, the
// resolver is missing, the script cannot be fetched or fails, or the time ran out.
size_t FindAutomaticProxies(const char* url, ProxyCandidate* out, size_t capacity,
                            unsigned timeoutMilliseconds);
