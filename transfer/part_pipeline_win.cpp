#include "transfer/part_pipeline_win.h"

#include <stdlib.h>

namespace {

const DWORD checksumPieceSize = 512;

// Reads a part file: its first size bytes into buffer, anything beyond them in small
// pieces, so that the checksum covers the whole file while the buffer holds what the
// join takes. loaded is the number of bytes in buffer, extra whether the file goes on
// beyond size. False when the file cannot be opened or read.
bool LoadPart(const char* path, char* buffer, DWORD size, int32_t& checksum, DWORD& loaded,
              bool& extra) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    Md5 md5;
    DWORD got = 0;
    bool ok = true;
    loaded = 0;
    while (loaded < size &&
           (ok = (ReadFile(file, buffer + loaded, size - loaded, &got, nullptr) != FALSE)) &&
           got > 0)
        loaded += got;
    md5.Update(buffer, loaded);
    char piece[checksumPieceSize];
    extra = false;
    while (ok && loaded == size &&
           (ok = (ReadFile(file, piece, sizeof piece, &got, nullptr) != FALSE)) && got > 0) {
        md5.Update(piece, got);
        extra = true;
    }
    CloseHandle(file);
    unsigned char digest[kMd5DigestSize];
    md5.Final(digest);
    checksum = PackageChecksum(digest);
    return ok;
}

}  // namespace

PartPipeline::PartPipeline(const HttpClientTimeouts& timeouts, volatile LONG* cancelFlag)
    : first(0, timeouts), second(0, timeouts), third(0, timeouts), fourth(0, timeouts) {
    for (HttpClient* client : clients) client->SetCancelFlag(cancelFlag);
}

PartPipeline::~PartPipeline() {
    (void)joiner.Finish();
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    free(buffers[0]);
    free(buffers[1]);
}

void PartPipeline::CloseRequests() {
    for (HttpClient* client : clients) client->CloseRequest();
}

bool PartPipeline::StartSignedDigest() {
    signedPackage = true;
    return wholeSha.Start();
}

bool PartPipeline::OpenOutput(const char* path) {
    // A joined file left by an earlier run is written over from its start and cut to
    // length at the end: emptying it first costs as much as writing it again.
    // Opened once per pipeline (the package fetch's Run): nothing open is written over.
    // cppcheck-suppress publicAllocationError
    output =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return false;
    joiner.Start(output);
    return true;
}

bool PartPipeline::AllocateBuffers(int32_t size) {
    partSize = size;
    inFlight = RequestsInFlight(size);
    for (char*& part : buffers) {
        part = static_cast<char*>(malloc(partSize > 0 ? static_cast<size_t>(partSize) : 1));
        if (part == nullptr) return false;
    }
    UseBuffer(buffers[0]);
    return true;
}

// Parts are read and received into next from now on.
void PartPipeline::UseBuffer(char* next) {
    buffer = next;
    for (HttpClient* client : clients) client->SetBodyCopy(buffer, static_cast<size_t>(partSize));
}

// A part of another length is as bad as one with a wrong checksum: the checksum and the
// total would be taken over different bytes otherwise.
PartCheck PartPipeline::LoadIntact(const char* path, int32_t size, int32_t sum,
                                   const Sha256Digest* digest) {
    int32_t actual;
    bool extra = false;
    partInWhole = false;
    if (!LoadPart(path, buffer, static_cast<DWORD>(size), actual, loaded, extra) || actual != sum ||
        loaded != static_cast<DWORD>(size) || extra)
        return PartDamaged;
    return CheckInHand(digest);
}

PartCheck PartPipeline::CheckFetched(const HttpClient& fetcher, const char* path, int32_t size,
                                     int32_t sum, const Sha256Digest* digest) {
    size_t copied = 0;
    if (!fetcher.BodyCopied(copied)) return LoadIntact(path, size, sum, digest);
    if (copied != static_cast<size_t>(size)) return PartDamaged;
    loaded = static_cast<DWORD>(copied);
    // whole is the joiner's until the part before is written; a failed write is
    // reported when this part is joined.
    (void)joiner.Finish();
    Md5 md5;
    wholeWithPart = whole;
    Md5::UpdateBoth(md5, wholeWithPart, buffer, loaded);
    partInWhole = true;
    unsigned char checksum[kMd5DigestSize];
    md5.Final(checksum);
    if (PackageChecksum(checksum) != sum) return PartDamaged;
    return CheckInHand(digest);
}

// With a key in force, the part in buffer against its signed digest.
PartCheck PartPipeline::CheckInHand(const Sha256Digest* digest) {
    if (digest == nullptr) return PartIntact;
    Sha256Hash hash;
    Sha256Digest computed;
    if (!hash.Start() || !hash.Add(buffer, loaded) || !hash.Finish(computed))
        return PartNotAuthentic;
    return SameDigest(computed, *digest) ? PartIntact : PartNotAuthentic;
}

bool PartPipeline::Join() {
    if (partInWhole) whole = wholeWithPart;
    if (!joiner.Append(buffer, loaded, partInWhole ? nullptr : &whole,
                       signedPackage ? &wholeSha : nullptr)) {
        SetLastError(joiner.LastError());
        return false;
    }
    UseBuffer(buffer == buffers[0] ? buffers[1] : buffers[0]);
    return true;
}

unsigned long PartPipeline::FinishOutput() {
    unsigned long error = 0;
    if (!joiner.Finish()) error = joiner.LastError();
    if (output != INVALID_HANDLE_VALUE) {
        if (!SetEndOfFile(output) && error == 0) {
            error = GetLastError();
            if (error == 0) error = ERROR_WRITE_FAULT;
        }
        CloseHandle(output);
    }
    output = INVALID_HANDLE_VALUE;
    return error;
}

int32_t PartPipeline::WholeChecksum() {
    unsigned char digest[kMd5DigestSize];
    whole.Final(digest);
    return PackageChecksum(digest);
}
