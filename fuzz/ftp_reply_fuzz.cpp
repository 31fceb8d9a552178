// FTP reply assembly as the worker does it on the control connection: received bytes
// pile up in the reply buffer, every complete reply is taken off its front and goes
// through the reply state machine. The input's first byte sets how much each receive
// delivers; the rest is what the server sends. However the bytes arrive, the same
// replies must come out.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "transfer/ftp_reply.h"

namespace {

const FtpState kStates[] = {FtpState::NotConnected,          FtpState::AwaitingHostLookup,
                            FtpState::AwaitingConnection,    FtpState::AwaitingGreeting,
                            FtpState::AwaitingUserReply,     FtpState::AwaitingPasswordReply,
                            FtpState::AwaitingTypeReply,     FtpState::LoggedIn,
                            FtpState::AwaitingPassiveReply,  FtpState::AwaitingPortReply,
                            FtpState::AwaitingRetrieveReply, FtpState::Transferring};

void CheckReply(const char* reply, FtpState* state) {
    int kind = ReplyClass(reply);
    FUZZ_CHECK(kind >= 0 && kind <= 5);
    for (FtpState any : kStates) {
        FtpStep step = DecideReply(any, reply);
        FUZZ_CHECK(step.next >= FtpState::NotConnected && step.next <= FtpState::Transferring);
    }
    FtpStep step = DecideReply(*state, reply);
    // After the login the worker asks for a passive connection.
    *state = step.next == FtpState::LoggedIn ? FtpState::AwaitingPassiveReply : step.next;
    if (step.command == FtpOpenPassive) {
        FtpAddress address;
        FUZZ_CHECK(ParsePassiveAddress(reply, &address));
    }
    if (step.outcome == FtpItemStarted) {
        FUZZ_CHECK(ParseTransferSize(reply) >= -1);
        FUZZ_CHECK(ParseAnnouncedByteCount(reply) >= -1);
    }
}

// Finds the first complete reply in the pending bytes, held on the heap in exactly their
// number; a reply is complete for every longer run of the same bytes, never for a shorter.
size_t CompleteReply(const char* buffer, size_t used) {
    ExactBuffer pending(used);
    memcpy(pending.get(), buffer, used);
    size_t length = FindCompleteReply(pending.get(), used);
    if (length == 0) return 0;
    FUZZ_CHECK(length <= used);
    FUZZ_CHECK(buffer[length - 1] == '\n');
    FUZZ_CHECK(FindCompleteReply(pending.get(), length) == length);
    FUZZ_CHECK(FindCompleteReply(pending.get(), length - 1) == 0);
    return length;
}

// Runs the stream through the reply buffer in receives of chunk bytes; returns the replies
// in order, an empty one standing for a buffer that filled without a complete reply.
std::vector<std::string> Assemble(const uint8_t* stream, size_t remaining, size_t chunk) {
    std::vector<std::string> replies;
    char buffer[ftpReplyBufferSize];
    size_t used = 0;
    FtpState state = FtpState::AwaitingGreeting;
    while (remaining > 0) {
        size_t room = sizeof buffer - used;
        size_t received = remaining < chunk ? remaining : chunk;
        if (received > room) received = room;
        memcpy(buffer + used, stream, received);
        stream += received;
        remaining -= received;
        used += received;

        while (size_t length = CompleteReply(buffer, used)) {
            char reply[ftpReplyBufferSize + 1];
            memcpy(reply, buffer, length);
            reply[length] = '\0';
            used -= length;
            memmove(buffer, buffer + length, used);
            CheckReply(reply, &state);
            replies.emplace_back(reply, length);
        }
        // A reply that fills the whole buffer without ending never will: the worker
        // fails the connection; here the next bytes start afresh.
        if (used == sizeof buffer) {
            used = 0;
            state = FtpState::AwaitingGreeting;
            replies.emplace_back();
        }
    }
    return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = data[0] == 0 ? ftpReplyBufferSize : data[0];
    std::vector<std::string> replies = Assemble(data + 1, size - 1, chunk);
    if (chunk != ftpReplyBufferSize)
        FUZZ_CHECK(replies == Assemble(data + 1, size - 1, ftpReplyBufferSize));
    return 0;
}
