// The publisher tool: appends files to a finished installer image as its payload, lists
// and extracts payloads, makes signing keys, cuts files into HTTP packages (signed or not),
// verifies published packages, scrambles passwords, and checks descriptions. Builds for
// Linux and as a Windows console program.
#include <stdio.h>
#include <string.h>

#include "tools/cvpublish/commands.h"

namespace {

const Command kCommands[] = {
    {"add", RunAdd, "add [--replace] EXE FILE[=NAME]...",
     "Appends each FILE to EXE as a payload record named NAME (default: the file's base\n"
     "name), then the trailer. NAME may name a subdirectory with \\ or /; a slash is\n"
     "stored as a backslash. FILE ends at the last '='. An EXE that already carries a\n"
     "payload is refused unless --replace is given, which drops that payload first.\n"
     "A signed EXE is refused: sign after adding the payload.\n"
     "A description among the files whose package or ispackage actions would find no\n"
     "cvgetex.dll (neither added with it nor downloaded) is warned about."},
    {"list", RunList, "list EXE",
     "Prints one line per record: its size in bytes, a tab, its name; or \"no payload\"\n"
     "when EXE carries none; then \"image: signed ...\" when EXE is signed, its payload\n"
     "read before the certificate table. A damaged payload ends with a message and exit\n"
     "code 1."},
    {"extract", RunExtract, "extract EXE DIR",
     "Writes every record of EXE as a file under DIR, creating DIR and subdirectories.\n"
     "A damaged payload, or a record name that would leave DIR, is refused before\n"
     "anything is written."},
    {"keygen", RunKeygen, kKeygenUsage, kKeygenHelp},
    {"key", RunKey, kKeyUsage, kKeyHelp},
    {"package", RunPackage, kPackageUsage, kPackageHelp},
    {"verify", RunVerify, kVerifyUsage, kVerifyHelp},
    {"scramble", RunScramble, kScrambleUsage, kScrambleHelp},
    {"check", RunCheck, kCheckUsage, kCheckHelp},
};

void PrintHelp(FILE* stream) {
    fprintf(stream, "cvpublish: builds and inspects the payload appended to an installer.\n\n");
    for (const Command& command : kCommands)
        fprintf(stream, "cvpublish %s\n%s\n\n", command.usage, command.help);
    fprintf(stream,
            "cvpublish help, --help\nPrints this text.\n\n"
            "Exit codes: 0 success, 1 refused or failed, 2 wrong command line; check: 0 clean,\n"
            "1 warnings only, 2 errors.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    if (strcmp(argv[1], "help") == 0 || strcmp(argv[1], "--help") == 0 ||
        strcmp(argv[1], "-h") == 0) {
        PrintHelp(stdout);
        return kExitSuccess;
    }
    for (const Command& command : kCommands)
        if (strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
    fprintf(stderr, "cvpublish: unknown command \"%s\"; see cvpublish help\n", argv[1]);
    return kExitUsage;
}
