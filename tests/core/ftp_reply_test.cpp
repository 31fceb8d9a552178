// FTP replies found in received text, 227 addresses, 150 sizes, command bytes and the
// reply state machine's decisions.
#include "transfer/ftp_reply.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// The complete replies at the front of text, taken one after the other as the worker
// does, and what stays behind.
std::vector<std::string> Replies(const std::string& text, std::string* rest = nullptr) {
    std::vector<std::string> replies;
    size_t at = 0;
    while (size_t length = FindCompleteReply(text.data() + at, text.size() - at)) {
        replies.push_back(text.substr(at, length));
        at += length;
    }
    if (rest != nullptr) *rest = text.substr(at);
    return replies;
}

}  // namespace

TEST(FtpReplyAssembly, CompleteRepliesAndWhatStaysBehind) {
    struct Case {
        const char* text;
        std::vector<std::string> replies;
        const char* rest;
    };
    const Case cases[] = {
        {"220 Ready\r\n", {"220 Ready\r\n"}, ""},
        {"220 Ready", {}, "220 Ready"},
        {"220 Ready\r", {}, "220 Ready\r"},
        {"", {}, ""},
        // A multi-line greeting arrives whole, its first line first.
        {"220-Welcome\r\n220-to the test\r\n220 ready\r\n",
         {"220-Welcome\r\n220-to the test\r\n220 ready\r\n"},
         ""},
        {"220-Welcome\r\n220-to the test\r\n", {}, "220-Welcome\r\n220-to the test\r\n"},
        // Two replies in one block, handled in order; the third is still coming.
        {"150 Opening (10 bytes)\r\n226 Done\r\n331 Pass",
         {"150 Opening (10 bytes)\r\n", "226 Done\r\n"},
         "331 Pass"},
        // Lines inside a multi-line reply need not carry the code.
        {"230-Hello\r\n text\r\n  230 not the end\r\n230 end\r\n",
         {"230-Hello\r\n text\r\n  230 not the end\r\n230 end\r\n"},
         ""},
        {"211-Features\r\n 211 x\r\n211-more\r\n211 End\n",
         {"211-Features\r\n 211 x\r\n211-more\r\n211 End\n"},
         ""},
        // LF-only lines and a bare code end a reply too.
        {"200 ok\n220\r\n", {"200 ok\n", "220\r\n"}, ""},
        // A stray short line is a reply of its own; the caller sees its first character.
        {"\r\n200 ok\r\n", {"\r\n", "200 ok\r\n"}, ""},
        {"ab\n", {"ab\n"}, ""},
    };
    for (const Case& c : cases) {
        std::string rest;
        EXPECT_EQ(c.replies, Replies(c.text, &rest)) << c.text;
        EXPECT_EQ(c.rest, rest) << c.text;
    }
}

TEST(FtpReplyAssembly, EveryPrefixOfTwoRepliesIsIncompleteUntilItsLastNewline) {
    const std::string text = "220-first\r\n220-second\r\n220 last\r\n150 size (99 bytes)\r\n";
    const size_t firstEnd = text.find("220 last\r\n") + 10;
    for (size_t length = 0; length <= text.size(); ++length) {
        size_t found = FindCompleteReply(text.data(), length);
        EXPECT_EQ(length < firstEnd ? 0u : firstEnd, found) << length;
    }
}

TEST(FtpReplyAssembly, ReplyClassIsTheFirstDigit) {
    const std::pair<const char*, int> cases[] = {
        {"150 x", 1}, {"226 x", 2}, {"331 x", 3}, {"426 x", 4}, {"550 x", 5},
        {"620 x", 0}, {"0", 0},     {"", 0},      {" 220", 0},  {"x20", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, ReplyClass(c.first)) << c.first;
}

TEST(FtpPassiveAddress, SixNumbersAfterTheFirstParenthesis) {
    struct Case {
        const char* reply;
        bool found;
        unsigned char host[4];
        unsigned port;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (192,168,0,10,19,137).\r\n",
         true,
         {192, 168, 0, 10},
         19 * 256 + 137},
        {"227 =(127,0,0,5,255,255)\r\n", true, {127, 0, 0, 5}, 65535},
        {"227 (1, 2 ,3,4 , 0,21)\r\n", true, {1, 2, 3, 4}, 21},
        // Everything that is not a digit separates; the first "(" counts.
        {"227 x(10;20;30;40;50;60) (1,1,1,1,1,1)\r\n", true, {10, 20, 30, 40}, 50 * 256 + 60},
        {"227 Entering Passive Mode 127,0,0,7,4,1\r\n", false, {}, 0},
        {"227 (127,0,0,1,4)\r\n", false, {}, 0},
        {"227 (127,0,0,1,4,", false, {}, 0},
        {"227 (256,0,0,1,4,1)\r\n", false, {}, 0},
        {"227 (127,0,0,1,4,1000)\r\n", false, {}, 0},
        {"227 (127,0,0,1,99999999999999999999,1)\r\n", false, {}, 0},
        {"227 ()\r\n", false, {}, 0},
    };
    for (const Case& c : cases) {
        FtpAddress address = {{9, 9, 9, 9}, 9};
        EXPECT_EQ(c.found, ParsePassiveAddress(c.reply, &address)) << c.reply;
        if (!c.found) continue;
        EXPECT_EQ(0, memcmp(c.host, address.host, 4)) << c.reply;
        EXPECT_EQ(c.port, address.port) << c.reply;
    }
}

TEST(FtpTransferSize, TheLastRunOfDigitsAfterTheCode) {
    const std::pair<const char*, int> cases[] = {
        {"150 Opening BINARY mode data connection for big.bin (3145851 bytes).\r\n", 3145851},
        {"150 Here it comes.\r\n", -1},
        // The last run counts even when it is not a size.
        {"150 Opening BINARY mode data connection for file2.bin.\r\n", 2},
        {"150 (0 bytes)\r\n", 0},
        {"150 512", 512},
        {"150\r\n", -1},
        {"150 \r\n", -1},
        {"150", -1},
        {"", -1},
        {"1500\r\n", 0},  // the code itself is never read as the size
        {"150 2147483647 bytes\r\n", 2147483647},
        {"150 2147483648 bytes\r\n", -1},
        {"150 99999999999999999999999 bytes\r\n", -1},
        {"150-Multi\r\n150 end (77 bytes)\r\n", 77},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, ParseTransferSize(c.first)) << c.first;
}

TEST(FtpTransferSize, OnlyACountOfBytesLimitsTheTransfer) {
    const std::pair<const char*, int> cases[] = {
        {"150 Opening BINARY mode data connection for a.bin (71 bytes).\r\n", 71},
        {"150 Opening data connection for big.bin (3145851 Bytes)\r\n", 3145851},
        {"150 0 bytes to send\r\n", 0},
        {"150 1 byte\r\n", 1},
        {"150 (12bytes)\r\n", 12},
        {"150-Accepted data connection\r\n150 71 bytes to download\r\n", 71},
        // The last count wins.
        {"150 part of 99 bytes (71 bytes)\r\n", 71},
        // No count of bytes: a name, another unit, a cut number, or none at all.
        {"150 Opening BINARY mode data connection for file2.bin.\r\n", -1},
        {"150 Here it comes.\r\n", -1},
        {"150 1.2 kbytes to download\r\n", -1},
        {"150 2.5 bytes\r\n", -1},
        {"150 1,024 bytes\r\n", -1},
        {"150 bytes\r\n", -1},
        {"150  bytes\r\n", -1},
        {"150 7  bytes\r\n", -1},
        {"150 byt", -1},
        {"150", -1},
        {"1", -1},
        {"", -1},
        // The code itself is never the count.
        {"150bytes\r\n", -1},
        {"150 2147483647 bytes\r\n", 2147483647},
        {"150 2147483648 bytes\r\n", -1},
        {"150 99999999999999999999999 bytes\r\n", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, ParseAnnouncedByteCount(c.first)) << c.first;
}

TEST(FtpCommands, BytesOfEachCommand) {
    struct Case {
        const char* verb;
        const char* argument;
        const char* bytes;  // null: refused
    };
    const Case cases[] = {
        {"USER", "anonymous", "USER anonymous\r\n"},
        {"USER", "", "USER \r\n"},
        {"PASS", "installer@corvane.invalid", "PASS installer@corvane.invalid\r\n"},
        {"TYPE", "I", "TYPE I\r\n"},
        {"PASV", nullptr, "PASV\r\n"},
        {"RETR", "pub/dir with blank/file.bin", "RETR pub/dir with blank/file.bin\r\n"},
        // A line break in an argument would send a second command.
        {"RETR", "a.bin\r\nDELE b", nullptr},
        {"USER", "x\ny", nullptr},
        {"PASS", "x\r", nullptr},
    };
    for (const Case& c : cases) {
        char out[ftpCommandSize];
        memset(out, 'x', sizeof out);
        int length = FormatFtpCommand(c.verb, c.argument, out, sizeof out);
        if (c.bytes == nullptr) {
            EXPECT_EQ(-1, length) << c.verb;
            EXPECT_STREQ("", out);
            continue;
        }
        EXPECT_STREQ(c.bytes, out);
        EXPECT_EQ(static_cast<int>(strlen(c.bytes)), length);
    }
}

TEST(FtpCommands, TheLongestRetrieveFitsAndLongerIsRefused) {
    std::string path(259, 'p');
    char out[ftpCommandSize];
    ASSERT_EQ(259 + 7, FormatFtpCommand("RETR", path.c_str(), out, sizeof out));
    char small[10];
    EXPECT_EQ(-1, FormatFtpCommand("RETR", "abcd", small, sizeof small));  // needs 12
    EXPECT_STREQ("", small);
    EXPECT_EQ(10, FormatFtpCommand("RETR", "abc", out, 11));
}

TEST(FtpCommands, PortCarriesTheAddressAndThePortBytes) {
    struct Case {
        FtpAddress address;
        const char* bytes;
    };
    const Case cases[] = {
        {{{127, 0, 0, 1}, 19 * 256 + 137}, "PORT 127,0,0,1,19,137\r\n"},
        {{{192, 168, 10, 200}, 65535}, "PORT 192,168,10,200,255,255\r\n"},
        {{{10, 0, 0, 2}, 21}, "PORT 10,0,0,2,0,21\r\n"},
    };
    for (const Case& c : cases) {
        char out[ftpCommandSize];
        EXPECT_EQ(static_cast<int>(strlen(c.bytes)), FormatPortCommand(c.address, out, sizeof out));
        EXPECT_STREQ(c.bytes, out);
    }
    char small[8];
    EXPECT_EQ(-1, FormatPortCommand(cases[0].address, small, sizeof small));
    EXPECT_STREQ("", small);
}

TEST(FtpStateMachine, EveryStateAndReplyClass) {
    struct Case {
        FtpState state;
        const char* reply;
        FtpState next;
        FtpCommand command;
        FtpOutcome outcome;
    };
    const char pasv[] = "227 Entering Passive Mode (127,0,0,1,4,1)\r\n";
    const Case cases[] = {
        // The greeting, whatever it says, is answered with USER.
        {FtpState::AwaitingGreeting, "220 ready\r\n", FtpState::AwaitingUserReply, FtpSendUser,
         FtpNoOutcome},
        {FtpState::AwaitingGreeting, "421 busy\r\n", FtpState::AwaitingUserReply, FtpSendUser,
         FtpNoOutcome},
        {FtpState::AwaitingUserReply, "331 password\r\n", FtpState::AwaitingPasswordReply,
         FtpSendPassword, FtpNoOutcome},
        {FtpState::AwaitingUserReply, "120 wait\r\n", FtpState::AwaitingUserReply, FtpSendNothing,
         FtpNoOutcome},
        {FtpState::AwaitingUserReply, "230 no password needed\r\n", FtpState::AwaitingTypeReply,
         FtpSendType, FtpNoOutcome},
        {FtpState::AwaitingUserReply, "530 no\r\n", FtpState::AwaitingUserReply, FtpSendNothing,
         FtpLoginRefused},
        {FtpState::AwaitingUserReply, "\r\n", FtpState::AwaitingUserReply, FtpSendNothing,
         FtpLoginRefused},
        {FtpState::AwaitingPasswordReply, "230 in\r\n", FtpState::AwaitingTypeReply, FtpSendType,
         FtpNoOutcome},
        {FtpState::AwaitingPasswordReply, "332 account\r\n", FtpState::AwaitingPasswordReply,
         FtpSendNothing, FtpLoginRefused},
        {FtpState::AwaitingPasswordReply, "530 wrong\r\n", FtpState::AwaitingPasswordReply,
         FtpSendNothing, FtpLoginRefused},
        {FtpState::AwaitingTypeReply, "200 Type set to I\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpLoggedIn},
        {FtpState::AwaitingTypeReply, "504 no\r\n", FtpState::AwaitingTypeReply, FtpSendNothing,
         FtpLoginRefused},
        {FtpState::LoggedIn, "421 timeout\r\n", FtpState::LoggedIn, FtpSendNothing, FtpNoOutcome},
        {FtpState::AwaitingPassiveReply, pasv, FtpState::AwaitingRetrieveReply, FtpOpenPassive,
         FtpNoOutcome},
        {FtpState::AwaitingPassiveReply, "227 Entering Passive Mode 127,0,0,1,4,1\r\n",
         FtpState::AwaitingPortReply, FtpOpenActive, FtpNoOutcome},
        {FtpState::AwaitingPassiveReply, "502 no PASV\r\n", FtpState::AwaitingPortReply,
         FtpOpenActive, FtpNoOutcome},
        {FtpState::AwaitingPassiveReply, "427 (127,0,0,1,4,1)\r\n", FtpState::AwaitingPortReply,
         FtpOpenActive, FtpNoOutcome},
        {FtpState::AwaitingPortReply, "200 PORT ok\r\n", FtpState::AwaitingRetrieveReply,
         FtpSendRetrieve, FtpNoOutcome},
        {FtpState::AwaitingPortReply, "500 no\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpItemRefused},
        {FtpState::AwaitingRetrieveReply, "150 here (5 bytes)\r\n", FtpState::Transferring,
         FtpSendNothing, FtpItemStarted},
        {FtpState::AwaitingRetrieveReply, "125 already open\r\n", FtpState::Transferring,
         FtpSendNothing, FtpItemStarted},
        {FtpState::AwaitingRetrieveReply, "550 no such file\r\n", FtpState::LoggedIn,
         FtpSendNothing, FtpItemRefused},
        {FtpState::AwaitingRetrieveReply, "226 done\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpItemRefused},
        {FtpState::Transferring, "226 done\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpFinalPositive},
        {FtpState::Transferring, "426 aborted\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpFinalNegative},
        {FtpState::Transferring, "150 again\r\n", FtpState::LoggedIn, FtpSendNothing,
         FtpFinalNegative},
        {FtpState::NotConnected, "220 hi\r\n", FtpState::NotConnected, FtpSendNothing,
         FtpLoginRefused},
        {FtpState::AwaitingHostLookup, "220 hi\r\n", FtpState::AwaitingHostLookup, FtpSendNothing,
         FtpLoginRefused},
        {FtpState::AwaitingConnection, "220 hi\r\n", FtpState::AwaitingConnection, FtpSendNothing,
         FtpLoginRefused},
    };
    for (const Case& c : cases) {
        FtpStep step = DecideReply(c.state, c.reply);
        EXPECT_EQ(c.next, step.next) << static_cast<int>(c.state) << " " << c.reply;
        EXPECT_EQ(c.command, step.command) << static_cast<int>(c.state) << " " << c.reply;
        EXPECT_EQ(c.outcome, step.outcome) << static_cast<int>(c.state) << " " << c.reply;
    }
}
