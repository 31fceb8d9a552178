// FTP replies, commands and the reply state machine's decisions.
#include "transfer/ftp_reply.h"

#include "common/text.h"

#include <limits.h>
#include <string.h>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one number of a passive address: skips non-digits, then reads digits. False
// when the text ends first or the number exceeds 255.
bool ReadAddressNumber(const char** cursor, int* value) {
    const char* p = *cursor;
    while (*p != '\0' && !IsDigit(*p)) ++p;
    if (*p == '\0') return false;
    int number = 0;
    for (; IsDigit(*p); ++p) {
        number = number * 10 + (*p - '0');
        if (number > 255) return false;
    }
    *cursor = p;
    *value = number;
    return true;
}

}  // namespace

size_t FindCompleteReply(const char* text, size_t length) {
    size_t start = 0;
    bool multiLine = false;
    while (start < length) {
        const void* found = memchr(text + start, '\n', length - start);
        if (found == nullptr) return 0;
        size_t end = static_cast<size_t>(static_cast<const char*>(found) - text) + 1;
        size_t lineLength = end - start;
        const char* line = text + start;
        char fourth = lineLength >= 4 ? line[3] : '\0';
        if (!multiLine) {
            if (fourth != '-') return end;
            multiLine = true;
        } else if (lineLength >= 4 && memcmp(line, text, 3) == 0 && fourth != '-') {
            return end;
        }
        start = end;
    }
    return 0;
}

int ReplyClass(const char* reply) {
    return reply[0] >= '1' && reply[0] <= '5' ? reply[0] - '0' : 0;
}

bool ParsePassiveAddress(const char* reply, FtpAddress* address) {
    const char* cursor = strchr(reply, '(');
    if (cursor == nullptr) return false;
    int numbers[6];
    for (int& number : numbers)
        if (!ReadAddressNumber(&cursor, &number)) return false;
    for (int i = 0; i < 4; ++i) address->host[i] = static_cast<unsigned char>(numbers[i]);
    address->port = static_cast<unsigned short>(numbers[4] * 256 + numbers[5]);
    return true;
}

int ParseTransferSize(const char* reply) {
    const long first = 3;  // the size never reaches back into the reply code
    long at = static_cast<long>(strlen(reply)) - 1;
    if (at < first) return -1;
    while (at > first && !IsDigit(reply[at])) --at;
    if (!IsDigit(reply[at])) return -1;
    long start = at;
    while (start > first && IsDigit(reply[start - 1])) --start;
    long long size = 0;
    for (long i = start; i <= at; ++i) {
        size = size * 10 + (reply[i] - '0');
        if (size > INT_MAX) return -1;
    }
    return static_cast<int>(size);
}

namespace {

bool IsWordByte(const char* text) {
    static const char word[] = "byte";
    for (size_t i = 0; i + 1 < sizeof word; ++i)
        if (text[i] == '\0' || (text[i] | 0x20) != word[i]) return false;
    return true;
}

// The number of the digit run that ends just before at, or -1 when it is none, is cut
// from a longer number, or does not fit.
int CountBefore(const char* reply, long at) {
    const long first = 4;  // behind the reply code and its separator
    long start = at;
    while (start > first && IsDigit(reply[start - 1])) --start;
    if (start == at || (start > first && (reply[start - 1] == '.' || reply[start - 1] == ',')))
        return -1;
    long long count = 0;
    for (long i = start; i < at; ++i) {
        count = count * 10 + (reply[i] - '0');
        if (count > INT_MAX) return -1;
    }
    return static_cast<int>(count);
}

}  // namespace

int ParseAnnouncedByteCount(const char* reply) {
    const long length = static_cast<long>(strlen(reply));
    int found = -1;
    for (long at = 5; at < length; ++at) {
        if (!IsWordByte(reply + at)) continue;
        long end = reply[at - 1] == ' ' ? at - 1 : at;
        if (end > 4 && IsDigit(reply[end - 1])) found = CountBefore(reply, end);
    }
    return found;
}

namespace {

// The length of a command that fits size, or -1 with out emptied.
int CommandLength(bool fits, char* out, size_t size) {
    if (fits) return static_cast<int>(strlen(out));
    if (size > 0) out[0] = '\0';
    return -1;
}

bool AppendNumber(char* out, size_t size, int value) {
    char digits[12];
    return FormatDecimal(digits, sizeof digits, value) && AppendTextN(out, size, digits);
}

}  // namespace

int FormatFtpCommand(const char* verb, const char* argument, char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    if (argument != nullptr && strpbrk(argument, "\r\n") != nullptr) return -1;
    bool fits = CopyTextN(out, size, verb) &&
                (argument == nullptr ||
                 (AppendTextN(out, size, " ") && AppendTextN(out, size, argument))) &&
                AppendTextN(out, size, "\r\n");
    return CommandLength(fits, out, size);
}

int FormatPortCommand(const FtpAddress& address, char* out, size_t size) {
    const int numbers[] = {address.host[0], address.host[1],   address.host[2],
                           address.host[3], address.port >> 8, address.port & 0xFF};
    bool fits = CopyTextN(out, size, "PORT ");
    for (size_t i = 0; fits && i < 6; ++i)
        fits = (i == 0 || AppendTextN(out, size, ",")) && AppendNumber(out, size, numbers[i]);
    fits = fits && AppendTextN(out, size, "\r\n");
    return CommandLength(fits, out, size);
}

FtpStep DecideReply(FtpState state, const char* reply) {
    int kind = ReplyClass(reply);
    bool positive = kind == 2;
    switch (state) {
    case FtpState::AwaitingGreeting:  // the greeting, whatever it says
        return {FtpState::AwaitingUserReply, FtpSendUser, FtpNoOutcome};
    case FtpState::AwaitingUserReply:
        if (kind == 3) return {FtpState::AwaitingPasswordReply, FtpSendPassword, FtpNoOutcome};
        if (kind == 1) return {FtpState::AwaitingUserReply, FtpSendNothing, FtpNoOutcome};
        // Logged in by the name alone: there is no password to send.
        if (positive) return {FtpState::AwaitingTypeReply, FtpSendType, FtpNoOutcome};
        return {FtpState::AwaitingUserReply, FtpSendNothing, FtpLoginRefused};
    case FtpState::AwaitingPasswordReply:
        if (positive) return {FtpState::AwaitingTypeReply, FtpSendType, FtpNoOutcome};
        return {FtpState::AwaitingPasswordReply, FtpSendNothing, FtpLoginRefused};
    case FtpState::AwaitingTypeReply:
        if (positive) return {FtpState::LoggedIn, FtpSendNothing, FtpLoggedIn};
        return {FtpState::AwaitingTypeReply, FtpSendNothing, FtpLoginRefused};
    case FtpState::LoggedIn:
        return {FtpState::LoggedIn, FtpSendNothing, FtpNoOutcome};
    case FtpState::AwaitingPassiveReply: {
        FtpAddress address;
        if (positive && ParsePassiveAddress(reply, &address))
            return {FtpState::AwaitingRetrieveReply, FtpOpenPassive, FtpNoOutcome};
        return {FtpState::AwaitingPortReply, FtpOpenActive, FtpNoOutcome};
    }
    case FtpState::AwaitingPortReply:
        if (positive) return {FtpState::AwaitingRetrieveReply, FtpSendRetrieve, FtpNoOutcome};
        return {FtpState::LoggedIn, FtpSendNothing, FtpItemRefused};
    case FtpState::AwaitingRetrieveReply:
        if (kind == 1) return {FtpState::Transferring, FtpSendNothing, FtpItemStarted};
        return {FtpState::LoggedIn, FtpSendNothing, FtpItemRefused};
    case FtpState::Transferring:
        if (positive) return {FtpState::LoggedIn, FtpSendNothing, FtpFinalPositive};
        return {FtpState::LoggedIn, FtpSendNothing, FtpFinalNegative};
    default:  // no reply is expected before the connection stands
        return {state, FtpSendNothing, FtpLoginRefused};
    }
}
