// Response heads as the HTTP client reads them: the input is the first receive of a
// response (at most one receive block), and a redirection's Location goes on to become
// the next request as it does in the client.
#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "transfer/http_auth.h"
#include "transfer/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > receiveBlockSize) size = receiveBlockSize;
    // The received bytes on the heap, exactly as many as arrived and not terminated.
    ExactBuffer block(size);
    if (size > 0) memcpy(block.get(), data, size);

    ResponseHeader header;
    int result = ParseResponseHeader(block.get(), size, &header);
    FUZZ_CHECK(result == 0 || result == -1);
    FUZZ_CHECK(BoundedLength(header.location, sizeof header.location) <= maxLocationLength);
    FUZZ_CHECK(header.contentLength >= -1);
    if (result == -1) {
        FUZZ_CHECK(header.status == unparseableStatus && header.headerLength == 0);
        FUZZ_CHECK(header.location[0] == '\0' && header.contentLength == -1);
        FUZZ_CHECK(!header.keepsConnection);
        return 0;
    }
    // The body starts within what was received.
    FUZZ_CHECK(header.headerLength >= 4 && static_cast<size_t>(header.headerLength) <= size);
    FUZZ_CHECK(strpbrk(header.location, "\r\n") == nullptr);
    // A connection is kept only after a body of known length.
    FUZZ_CHECK(!header.keepsConnection || header.contentLength >= 0);

    // An authentication offer: known schemes only, each challenge a bounded base64 token.
    static AuthOffer offer;
    ParseAuthOffer(block.get(), static_cast<size_t>(header.headerLength), "Proxy-Authenticate",
                   &offer);
    FUZZ_CHECK((offer.schemes &
                ~static_cast<unsigned>(AuthBasicBit | AuthNtlmBit | AuthNegotiateBit)) == 0);
    const char* challenges[] = {offer.ntlmChallenge, offer.negotiateChallenge};
    for (const char* challenge : challenges) {
        FUZZ_CHECK(BoundedLength(challenge, maxChallengeTextLength + 1) <= maxChallengeTextLength);
        FUZZ_CHECK(strspn(challenge,
                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                          "0123456789+/-._~=") == strlen(challenge));
    }

    if (header.location[0] != '\0') {
        UrlParts* next = ParseUrl(header.location);
        if (next != nullptr) {
            char request[requestBufferSize];
            int length = BuildRequest(next, nullptr, nullptr, request, sizeof request);
            FUZZ_CHECK(length == -1 || strlen(request) == static_cast<size_t>(length));
        }
        FreeUrl(next);
    }
    return 0;
}
