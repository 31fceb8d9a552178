// A loopback port the test knows to be closed, for connections that must be refused.
#pragma once

#include "common/win32.h"

#include <string>

// Binds a socket to a free port of 127.0.0.1, notes the port and closes the socket: nothing
// listens there afterwards, whatever else runs on the machine. Winsock must be started.
inline unsigned short RefusedLoopbackPort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    bool bound = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    closesocket(s);
    return bound ? ntohs(address.sin_port) : 0;
}

inline std::string RefusedPort() { return std::to_string(RefusedLoopbackPort()); }
