// Proxy discovery's texts. The input is a prefs.js file, read in pieces as fgets hands
// them over; the same bytes also stand for the registry values that are read (the
// ProxyServer text, a port value of each type, Navigator's install directory).
#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "transfer/proxy_discovery.h"

namespace {

// The host and port fields of the HTTP settings, and small ones for the cut paths.
const size_t kFieldSizes[] = {1, 6, 260};
const uint32_t kTypes[] = {
    0, registryTextType, registryExpandTextType, registryBinaryType, registryNumberType, 7};

// Feeds the file as fgets does: pieces of at most preferencesLineSize - 1 characters,
// each ending after a line end.
void Scan(const uint8_t* data, size_t size, size_t fieldSize) {
    ExactBuffer host(fieldSize);
    ExactBuffer port(fieldSize);
    host.get()[0] = '\0';
    port.get()[0] = '\0';
    PreferencesScan scan(host.get(), fieldSize, port.get(), fieldSize);
    char piece[preferencesLineSize];
    size_t at = 0;
    while (at < size) {
        size_t used = 0;
        while (used < preferencesLineSize - 1 && at < size) {
            char c = static_cast<char>(data[at++]);
            piece[used++] = c;
            if (c == '\n') break;
        }
        piece[used] = '\0';
        scan.Feed(piece);
        FUZZ_CHECK(host.Terminated() && port.Terminated());
    }
    if (scan.HostFound()) FUZZ_CHECK(strchr(host.get(), '"') == nullptr);
}

void CheckSplit(const char* value, size_t fieldSize) {
    ExactBuffer host(fieldSize);
    ExactBuffer port(fieldSize);
    bool split = SplitProxyServer(value, host.get(), fieldSize, port.get(), fieldSize);
    FUZZ_CHECK(host.Terminated() && port.Terminated());
    if (!split) FUZZ_CHECK(host.get()[0] == '\0' && port.get()[0] == '\0');
    if (split) FUZZ_CHECK(strlen(host.get()) + strlen(port.get()) <= strlen(value));
}

void CheckRegistryValue(const uint8_t* data, size_t size, size_t fieldSize) {
    // A registry read delivers at most the 260 bytes of its buffer.
    size_t length = size < 260 ? size : 260;
    ExactBuffer value(length);
    if (length > 0) memcpy(value.get(), data, length);
    for (uint32_t type : kTypes) {
        ExactBuffer out(fieldSize);
        if (!TakeRegistryText(type, value.bytesOf(), length, out.get(), fieldSize))
            FUZZ_CHECK(out.get()[0] == '\0');
        FUZZ_CHECK(out.Terminated());
        if (TakeRegistryPort(type, value.bytesOf(), length, out.get(), fieldSize) &&
            (type == registryNumberType || type == registryBinaryType))
            FUZZ_CHECK(out.get()[0] >= '0' && out.get()[0] <= '9');
        FUZZ_CHECK(out.Terminated());
        bool on = IsSwitchOn(type, value.bytesOf(), length);
        if (on) FUZZ_CHECK(type == registryBinaryType && length >= 1 && length <= 4);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzText text(data, size);
    for (size_t fieldSize : kFieldSizes) {
        Scan(data, size, fieldSize);
        CheckSplit(text.get(), fieldSize);
        CheckRegistryValue(data, size, fieldSize);
        ExactBuffer host(fieldSize);
        ExactBuffer port(fieldSize);
        host.get()[0] = '\0';
        port.get()[0] = '\0';
        ParsePreferenceLine(text.get(), host.get(), fieldSize, port.get(), fieldSize);
        FUZZ_CHECK(host.Terminated() && port.Terminated());
    }
    // The input's first line as Navigator's install directory, the rest as the profile.
    InputParts parts = SplitInput(data, size, '\n');
    FuzzText directory(parts.head, parts.headLength);
    FuzzText profile(parts.rest, parts.restLength);
    ExactBuffer path(preferencesPathSize);
    if (BuildPreferencesPath(directory.get(), profile.get(), path.get(), path.size()))
        FUZZ_CHECK(strlen(path.get()) < preferencesPathSize && strstr(path.get(), "\\prefs.js"));
    else
        FUZZ_CHECK(path.get()[0] == '\0');
    return 0;
}
