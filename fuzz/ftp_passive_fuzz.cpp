// The values the FTP worker takes out of single replies: the passive address of a 227
// reply, the size a 150 reply announces, and the PORT and RETR commands built from them.
// The input is one reply text.
#include "fuzz/fuzz_support.h"
#include "transfer/ftp_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzText reply(data, size);

    FtpAddress address;
    if (ParsePassiveAddress(reply.get(), &address)) {
        FUZZ_CHECK(strchr(reply.get(), '(') != nullptr);
        char command[ftpCommandSize];
        int length = FormatPortCommand(address, command, sizeof command);
        FUZZ_CHECK(length > 0 && strlen(command) == static_cast<size_t>(length));
        ExactBuffer small(12);
        FUZZ_CHECK(FormatPortCommand(address, small.get(), small.size()) == -1);
        FUZZ_CHECK(small.get()[0] == '\0');
    }

    int transferSize = ParseTransferSize(reply.get());
    FUZZ_CHECK(transferSize >= -1);

    // The reply text as the argument of a command (a path from a description).
    const size_t sizes[] = {1, 8, ftpCommandSize};
    bool breaks = strpbrk(reply.get(), "\r\n") != nullptr;
    for (size_t bufferSize : sizes) {
        ExactBuffer out(bufferSize);
        int length = FormatFtpCommand("RETR", reply.get(), out.get(), bufferSize);
        if (length < 0) {
            FUZZ_CHECK(length == -1 && out.get()[0] == '\0');
            continue;
        }
        FUZZ_CHECK(!breaks);
        FUZZ_CHECK(static_cast<size_t>(length) < bufferSize);
        FUZZ_CHECK(strlen(out.get()) == static_cast<size_t>(length));
    }
    return 0;
}
