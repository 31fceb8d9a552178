// The test nginx's log of which connection carried each request (log_format
// "connections": connection number, request number on it, request line, status).
#pragma once

#include <string>
#include <vector>

// The connection number of every line of log that holds needle, in the log's order.
std::vector<int> ConnectionsOfRequests(const std::string& log, const std::string& needle);
