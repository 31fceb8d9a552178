#include "connection_log.h"

#include <stdlib.h>

std::vector<int> ConnectionsOfRequests(const std::string& log, const std::string& needle) {
    std::vector<int> connections;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        if (line.find(needle) != std::string::npos) connections.push_back(atoi(line.c_str()));
        start = end + 1;
    }
    return connections;
}
