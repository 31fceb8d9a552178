// The pure half of the FTP worker: complete replies found in the received text, the
// passive address of a 227 reply, the size announced by a 150 reply, the command bytes,
// and the reply state machine's decisions. Nothing here touches a socket or a file;
// ftp_worker_win.cpp does the I/O around it.
#pragma once

#include <stddef.h>

// Where the connection stands, named by what it awaits; the numbers are fixed.
enum class FtpState : int {
    NotConnected = 0,
    AwaitingHostLookup = 1,
    AwaitingConnection = 2,
    AwaitingGreeting = 3,
    AwaitingUserReply = 4,
    AwaitingPasswordReply = 5,
    AwaitingTypeReply = 6,
    LoggedIn = 7,
    AwaitingPassiveReply = 8,
    AwaitingPortReply = 9,
    AwaitingRetrieveReply = 10,
    Transferring = 11,
};

const size_t ftpReplyBufferSize = 1024;  // reply text held on the control connection
const size_t ftpDataBlockSize = 4096;    // one receive on the data connection
// What is taken from a data connection before the preliminary reply has said how much is
// coming; the rest waits in the connection (the server is held back) until it has.
const size_t ftpEarlyDataLimit = 16 * ftpDataBlockSize;
const size_t ftpCommandSize = 300;  // the longest command: "RETR " and a 259-byte path
const unsigned short ftpControlPort = 21;

// Length of the first complete reply at the start of text (length bytes): up to and
// including the "\n" of its last line; 0 while the reply is still incomplete. A line
// whose 4th character is "-" opens a multi-line reply, which then ends with the first
// line that starts with the same three characters not followed by "-"; lines between
// are part of it whatever they hold. Any other first line is a reply by itself.
size_t FindCompleteReply(const char* text, size_t length);

// The class of a reply: its first digit (1 to 5), or 0 when it does not start with one.
int ReplyClass(const char* reply);

struct FtpAddress {
    unsigned char host[4];
    unsigned short port;
};

// The address of a "227 ... (h1,h2,h3,h4,p1,p2)" reply: six numbers after the first
// "(", each behind any non-digits. False (no passive address) when there is no "(",
// when a number is missing or when one exceeds 255.
bool ParsePassiveAddress(const char* reply, FtpAddress* address);

// The byte count of a preliminary reply to RETR: the last run of digits after the code
// ("(512 bytes)." gives 512, "file2.bin." gives 2); -1 when there is none or when the
// count does not fit a signed 32-bit number.
int ParseTransferSize(const char* reply);

// The byte count a preliminary reply to RETR really announces: the last run of digits
// followed by "bytes" (or "byte"), optionally after one blank, ignoring case, as in
// "(71 bytes)". -1 when there is none, when the run is the tail of a decimal or grouped
// number ("1.2 kbytes", "1,024 bytes"), or when it does not fit a signed 32-bit number.
// Unlike ParseTransferSize, a name or a figure of another unit never counts: the worker
// holds the transfer to this count.
int ParseAnnouncedByteCount(const char* reply);

// Writes "VERB argument\r\n" ("VERB\r\n" when argument is null) into out, NUL-terminated.
// Returns the length, or -1 (out emptied when size allows) when it does not fit or when
// the argument holds a line break, which would smuggle a second command in.
int FormatFtpCommand(const char* verb, const char* argument, char* out, size_t size);

// Writes "PORT h1,h2,h3,h4,p1,p2\r\n"; returns the length, or -1 when it does not fit.
int FormatPortCommand(const FtpAddress& address, char* out, size_t size);

// What the worker does about one reply.
enum FtpCommand {
    FtpSendNothing,
    FtpSendUser,
    FtpSendPassword,
    FtpSendType,
    FtpOpenPassive,  // connect to the reply's passive address, then send RETR
    FtpOpenActive,   // listen and send PORT
    FtpSendRetrieve,
};

enum FtpOutcome {
    FtpNoOutcome,
    FtpLoggedIn,       // "dl1" 0
    FtpLoginRefused,   // "dl1" 3
    FtpItemRefused,    // "dl2" 4: PORT or RETR refused
    FtpItemStarted,    // "dl2" 0 with the announced size
    FtpFinalPositive,  // one of the two ends of a transfer
    FtpFinalNegative,  // "dl4" 4
};

struct FtpStep {
    FtpState next;
    FtpCommand command;
    FtpOutcome outcome;
};

// The reply state machine: the step for a complete reply in a state. A 2xx answer to
// USER completes the login without a password and goes on with "TYPE I".
FtpStep DecideReply(FtpState state, const char* reply);
