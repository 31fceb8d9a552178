#include "common/run_log.h"

#include "common/text.h"

#include <string.h>

namespace {

const char* FindSwitch(const char* commandLine) {
    for (const char* p = commandLine; *p != '\0'; ++p) {
        bool atStart = p == commandLine || IsBlank(p[-1]) || p[-1] == '"';
        if (atStart && (*p == '/' || *p == '-') && strncmp(p + 1, "Log=", 4) == 0) return p + 5;
    }
    return nullptr;
}

}  // namespace

bool FindLogPath(const char* commandLine, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    const char* value = FindSwitch(commandLine);
    if (value == nullptr) return false;
    const char* end;
    // "/Log=PATH" quoted whole, or /Log="PATH": the path runs to the closing quote.
    bool quotedWhole = value - 5 > commandLine && value[-6] == '"';
    if (*value == '"' || quotedWhole) {
        if (*value == '"') ++value;
        end = strchr(value, '"');
        if (end == nullptr) end = value + strlen(value);
    } else {
        end = value;
        while (*end != '\0' && !IsBlank(*end) && *end != '"') ++end;
    }
    size_t length = static_cast<size_t>(end - value);
    if (length == 0 || length >= size) return false;
    return CopyTextPrefixN(out, size, value, length);
}

void FormatLogTime(int year, int month, int day, int hour, int minute, int second, int millisecond,
                   char* out, size_t size) {
    const int fields[] = {year, month, day, hour, minute, second, millisecond};
    const int digits[] = {4, 2, 2, 2, 2, 2, 3};
    const char* after[] = {"-", "-", " ", ":", ":", ".", " "};
    if (size == 0) return;
    out[0] = '\0';
    for (size_t i = 0; i < countof(fields); ++i) {
        char number[12];
        FormatDecimal(number, sizeof number, fields[i], digits[i]);
        AppendTextN(out, size, number);
        AppendTextN(out, size, after[i]);
    }
}

size_t FirstWholeLine(const char* tail, size_t length) {
    const void* lineEnd = memchr(tail, '\n', length);
    if (lineEnd == nullptr) return length;
    return static_cast<size_t>(static_cast<const char*>(lineEnd) - tail) + 1;
}

void SiteForLog(const char* site, char* out, size_t size) {
    const char* host = site;
    const char* scheme = strstr(site, "://");
    if (scheme != nullptr) host = scheme + 3;
    const char* pathStart = strchr(host, '/');
    const char* at = nullptr;
    for (const char* p = host; *p != '\0' && p != pathStart; ++p)
        if (*p == '@') at = p;
    if (size == 0) return;
    out[0] = '\0';
    CopyTextPrefixN(out, size, site, static_cast<size_t>(host - site));
    AppendTextN(out, size, at != nullptr ? at + 1 : host);
}
