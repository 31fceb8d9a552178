// "scramble": prints the scrambled form of a password, as a description's "password" and
// "proxypassword" keys carry it.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "tools/cvpublish/commands.h"
#include "transfer/password.h"

const char kScrambleUsage[] = "scramble PASSWORD";
const char kScrambleHelp[] =
    "Prints the scrambled form of PASSWORD for the \"password\" and \"proxypassword\" keys of\n"
    "a description; the installer turns it back into PASSWORD. The start value and control\n"
    "byte are chosen at random, so every run prints another text. The bytes are taken as\n"
    "given (the system code page on Windows). The installer reads at most 99 characters of\n"
    "the key, which holds passwords of up to 68 bytes; longer ones are refused. Scrambling\n"
    "hides a password from a casual reader only; it is no encryption.";

namespace {

// What the installer reads of a password key.
const size_t kDescriptionValueLength = 99;

// Four bytes that differ from run to run; no secrecy is needed.
uint32_t RandomBits() {
    uint32_t bits = 0;
    FILE* source = fopen("/dev/urandom", "rb");
    if (source != nullptr) {
        if (fread(&bits, sizeof bits, 1, source) != 1) bits = 0;
        fclose(source);
    }
    uint32_t mix = static_cast<uint32_t>(time(nullptr)) ^ static_cast<uint32_t>(clock()) ^
                   static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&bits));
    return bits ^ (mix * 2654435761u);
}

}  // namespace

int RunScramble(int argc, char** argv) {
    if (argc == 1 && strcmp(argv[0], "--help") == 0) {
        printf("cvpublish %s\n%s\n", kScrambleUsage, kScrambleHelp);
        return kExitSuccess;
    }
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish %s\n", kScrambleUsage);
        return kExitUsage;
    }
    const char* password = argv[0];
    size_t length = strlen(password);
    uint32_t bits = RandomBits();
    char scrambled[kDescriptionValueLength + 1];
    if (!ScramblePassword(reinterpret_cast<const unsigned char*>(password), length,
                          static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                          static_cast<unsigned short>(bits >> 16), scrambled, sizeof scrambled)) {
        fprintf(stderr,
                "cvpublish: a password of %lu bytes does not fit the %lu characters the "
                "installer reads\n",
                static_cast<unsigned long>(length),
                static_cast<unsigned long>(kDescriptionValueLength));
        return kExitFailure;
    }
    // The installer's own unscrambling must give the password back.
    char check[kPasswordFieldSize];
    if (!UnscramblePassword(scrambled, check) || strcmp(check, password) != 0) {
        fprintf(stderr, "cvpublish: scrambling failed its round trip\n");
        return kExitFailure;
    }
    printf("%s\n", scrambled);
    return kExitSuccess;
}
