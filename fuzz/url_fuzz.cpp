// URL texts as the HTTP client takes them apart and turns them into requests. The input
// is the target URL, then a line break and the proxy URL, then a line break and the path
// of a part request (each optional).
#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "transfer/http_request.h"

namespace {

const size_t kRequestSizes[] = {1, 48, requestBufferSize};

void CheckParts(const UrlParts* url, const char* text) {
    FUZZ_CHECK(url->host != nullptr);
    size_t textLength = strlen(text);
    // Every part is a piece of the text.
    FUZZ_CHECK(strlen(url->host) <= textLength);
    if (url->user != nullptr) FUZZ_CHECK(strlen(url->user) <= textLength);
    if (url->password != nullptr) FUZZ_CHECK(url->user != nullptr);
    if (url->path != nullptr) {
        FUZZ_CHECK(url->path[0] == '/');
        FUZZ_CHECK(strstr(text, url->path) != nullptr);
    }
}

void CheckRequest(const UrlParts* target, const UrlParts* proxy, const char* path) {
    for (size_t size : kRequestSizes) {
        ExactBuffer out(size);
        int length = BuildRequest(target, proxy, path, out.get(), size);
        if (length < 0) {
            FUZZ_CHECK(length == -1 && out.get()[0] == '\0');
            continue;
        }
        FUZZ_CHECK(static_cast<size_t>(length) < size);
        FUZZ_CHECK(strlen(out.get()) == static_cast<size_t>(length));
        FUZZ_CHECK(memcmp(out.get(), "GET ", 4) == 0);
        // The Connection line and one empty line end the request; nothing follows them.
        const char ending[] = "Connection: keep-alive\r\n\r\n";
        const size_t endingLength = sizeof ending - 1;
        FUZZ_CHECK(static_cast<size_t>(length) > endingLength &&
                   memcmp(out.get() + length - endingLength, ending, endingLength) == 0);
    }
}

// The tunnel's request through the proxy: bounded, one line for the host and port, and
// the proxy's credentials only in their own header.
void CheckTunnelRequest(const UrlParts* target, const UrlParts* proxy) {
    for (size_t size : kRequestSizes) {
        ExactBuffer out(size);
        int length = BuildConnectRequest(target, proxy, out.get(), size);
        if (length < 0) {
            FUZZ_CHECK(out.get()[0] == '\0');
            continue;
        }
        FUZZ_CHECK(static_cast<size_t>(length) < size);
        FUZZ_CHECK(strlen(out.get()) == static_cast<size_t>(length));
        FUZZ_CHECK(memcmp(out.get(), "CONNECT ", 8) == 0);
        FUZZ_CHECK(length >= 4 && memcmp(out.get() + length - 4, "\r\n\r\n", 4) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputParts first = SplitInput(data, size, '\n');
    InputParts second = SplitInput(first.rest, first.restLength, '\n');
    FuzzText targetText(first.head, first.headLength);
    FuzzText proxyText(second.head, second.headLength);
    FuzzText pathText(second.rest, second.restLength);

    UrlParts* target = ParseUrl(targetText.get());
    UrlParts* proxy = ParseUrl(proxyText.get());
    if (target == nullptr || proxy == nullptr) {
        FreeUrl(target);
        FreeUrl(proxy);
        return 0;
    }
    CheckParts(target, targetText.get());
    CheckParts(proxy, proxyText.get());

    CheckRequest(target, nullptr, nullptr);
    CheckRequest(target, proxy, nullptr);
    CheckRequest(target, nullptr, pathText.get());
    CheckRequest(target, proxy, pathText.get());
    CheckTunnelRequest(target, proxy);
    // The proxy text taken as a redirection's Location: credentials stay on the target's
    // host and port.
    UrlParts* next = ResolveLocation(target, proxyText.get());
    if (next != nullptr) {
        bool sameSite = EqualsIgnoringCase(next->host, target->host) && next->port == target->port;
        if (!sameSite) FUZZ_CHECK(next->user == nullptr && next->password == nullptr);
        if (sameSite) FUZZ_CHECK(next->user != nullptr && next->password != nullptr);
        CheckRequest(next, proxy, nullptr);
        // From a secure site a redirection that is followed stays secure.
        if (target->secure)
            FUZZ_CHECK(next->secure && !IsSecurityDowngrade(target, proxyText.get()));
    }
    FreeUrl(next);

    FreeUrl(target);
    FreeUrl(proxy);
    return 0;
}
