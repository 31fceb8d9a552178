// The publisher tool's subcommands. Each lives in its own file and is listed in the command
// table of main.cpp; a new subcommand is one more file and one more table row.
#pragma once

// Exit codes shared by every subcommand.
const int kExitSuccess = 0;
const int kExitFailure = 1;  // refused, damaged payload, or a file could not be read or written
const int kExitUsage = 2;    // the command line was wrong

// Each takes the arguments after the subcommand's name.
int RunAdd(int argc, char** argv);
int RunList(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunPackage(int argc, char** argv);
int RunVerify(int argc, char** argv);
int RunScramble(int argc, char** argv);
int RunCheck(int argc, char** argv);
int RunKeygen(int argc, char** argv);
int RunKey(int argc, char** argv);

// Usage lines and help texts of the commands that also answer "--help" themselves.
extern const char kPackageUsage[];
extern const char kPackageHelp[];
extern const char kVerifyUsage[];
extern const char kVerifyHelp[];
extern const char kScrambleUsage[];
extern const char kScrambleHelp[];
extern const char kCheckUsage[];
extern const char kCheckHelp[];
extern const char kKeygenUsage[];
extern const char kKeygenHelp[];
extern const char kKeyUsage[];
extern const char kKeyHelp[];

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
    const char* help;
};
