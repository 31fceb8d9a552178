// The parts of one package on their way in: the clients that take turns (while one
// receives a part, the others have sent the requests for the next ones), the two part
// buffers,
// each part's checks (length, checksum, signed digest), and the joined file with its
// digests, written on a thread of its own.
#pragma once

#include "common/win32.h"
#include "transfer/authenticity_win.h"
#include "transfer/fetch_policy.h"
#include "transfer/file_appender_win.h"
#include "transfer/http_client_win.h"
#include "transfer/md5.h"

#include <stdint.h>

// What a part turned out to be.
enum PartCheck { PartIntact, PartDamaged, PartNotAuthentic };

class PartPipeline {
public:
    // One client for each request that may be in flight (RequestsInFlight).
    static const unsigned clientCount = maxRequestsInFlight;

    PartPipeline(const HttpClientTimeouts& timeouts, volatile LONG* cancelFlag);
    ~PartPipeline();
    PartPipeline(const PartPipeline&) = delete;
    PartPipeline& operator=(const PartPipeline&) = delete;

    // The client of part index; the first also fetches the manifest and its signature.
    HttpClient& ClientFor(unsigned index) { return *clients[index % inFlight]; }
    // Requests in flight for parts of the size AllocateBuffers was given.
    unsigned InFlight() const { return inFlight; }
    HttpClient& First() { return first; }
    // Drops every client's requests sent ahead.
    void CloseRequests();

    // A signed package's parts also go into the SHA-256 of the whole; false when this
    // system cannot compute it.
    bool StartSignedDigest();
    // Opens the joined file for writing from its start (false, GetLastError says why).
    bool OpenOutput(const char* path);
    // Part buffers for parts of at most partSize bytes; false when memory ran out.
    bool AllocateBuffers(int32_t partSize);

    // The part file at path when it is there with checksum sum, exactly size bytes and,
    // with a digest, that SHA-256: its bytes are then in hand.
    PartCheck LoadIntact(const char* path, int32_t size, int32_t sum, const Sha256Digest* digest);
    // A part fetcher has just received into path: checked from the copy of its body the
    // client kept while it arrived, else from its file.
    PartCheck CheckFetched(const HttpClient& fetcher, const char* path, int32_t size, int32_t sum,
                           const Sha256Digest* digest);
    bool InHand(int32_t size) const { return loaded == static_cast<DWORD>(size); }
    // Appends the part in hand to the joined file and takes the other buffer for the
    // next; false (GetLastError says why) when this or the part before was not written.
    bool Join();
    // The last part written, the file cut to its length and closed: 0, or the error
    // code of the first write that failed.
    unsigned long FinishOutput();
    // The joined file's MD5 as the package checksum, and its SHA-256 (false when it
    // cannot be computed); each may be taken once, after FinishOutput.
    int32_t WholeChecksum();
    bool WholeDigest(Sha256Digest& digest) { return wholeSha.Finish(digest); }

private:
    PartCheck CheckInHand(const Sha256Digest* digest);
    void UseBuffer(char* next);

    HttpClient first, second, third, fourth;
    HttpClient* const clients[clientCount] = {&first, &second, &third, &fourth};
    HANDLE output = INVALID_HANDLE_VALUE;
    FileAppender joiner;
    bool signedPackage = false;
    char* buffers[2] = {};
    char* buffer = nullptr;  // the part in hand
    DWORD loaded = 0;        // bytes of the part in buffer
    int32_t partSize = 0;
    unsigned inFlight = 2;
    // The joined file's digest. A part just received goes into it on this thread, in the
    // same pass as the part's own checksum (wholeWithPart, taken over when the part is
    // joined), which costs the least processor time while receiving keeps it busy. A part
    // read back from disk goes into it on the joiner's thread, beside the reading of the
    // next part.
    Md5 whole;
    Md5 wholeWithPart;
    bool partInWhole = false;  // wholeWithPart holds the part in buffer
    // A signed package's SHA-256 of the parts joined so far, taken on the joiner's thread.
    Sha256Hash wholeSha;
};
