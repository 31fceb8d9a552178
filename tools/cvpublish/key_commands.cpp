// "keygen" makes the publisher's signing key; "key" prints the line that puts its public
// half into a description.
#include <stdio.h>
#include <string.h>

#include <string>

#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/key_encoding.h"
#include "tools/cvpublish/key_file.h"
#include "tools/cvpublish/private_file.h"
#include "tools/cvpublish/publisher_crypto.h"

const char kKeygenUsage[] = "keygen KEY.pem";
const char kKeygenHelp[] =
    "Makes a new RSA key of 3072 bits for signing packages and writes it to KEY.pem (PEM,\n"
    "PKCS#8, as openssl writes keys), which must not exist yet and is readable by its owner\n"
    "only. Keep it secret: whoever has it can sign packages that installers with its public\n"
    "key will run.";
const char kKeyUsage[] = "key KEY.pem";
const char kKeyHelp[] =
    "Prints the one line publisherKey=<base64> for the key in KEY.pem (the private key, or\n"
    "its public half as PEM \"PUBLIC KEY\"), to put into the description's [defs] section or\n"
    "a component's section. Installers with it then install only packages signed with the\n"
    "key (package --sign).";

namespace {

const unsigned kNewKeyBits = 3072;

bool AnswersHelp(int argc, char** argv, const char* usage, const char* help) {
    if (argc != 1 || strcmp(argv[0], "--help") != 0) return false;
    printf("cvpublish %s\n%s\n", usage, help);
    return true;
}

}  // namespace

int RunKeygen(int argc, char** argv) {
    if (AnswersHelp(argc, argv, kKeygenUsage, kKeygenHelp)) return kExitSuccess;
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish %s\n", kKeygenUsage);
        return kExitUsage;
    }
    std::string key, problem;
    if (!GenerateRsaKey(kNewKeyBits, &key, &problem) ||
        !WritePrivateFile(argv[0], WritePrivateKeyPem(key), &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", argv[0], problem.c_str());
        return kExitFailure;
    }
    printf(
        "%s: a new RSA key of %u bits; keep it secret. \"cvpublish key %s\" prints the "
        "line for the description.\n",
        argv[0], kNewKeyBits, argv[0]);
    return kExitSuccess;
}

int RunKey(int argc, char** argv) {
    if (AnswersHelp(argc, argv, kKeyUsage, kKeyHelp)) return kExitSuccess;
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish %s\n", kKeyUsage);
        return kExitUsage;
    }
    std::string publicKeyInfo, text, problem;
    if (!ReadPublicKeyFile(argv[0], &publicKeyInfo, &problem)) {
        fprintf(stderr, "cvpublish: %s: %s\n", argv[0], problem.c_str());
        return kExitFailure;
    }
    if (!FormatPublisherKey(publicKeyInfo, &text)) {
        fprintf(stderr,
                "cvpublish: %s: installers accept RSA keys of 2048 to 4096 bits with the exponent "
                "65537 only; make one "
                "with cvpublish keygen\n",
                argv[0]);
        return kExitFailure;
    }
    printf("publisherKey=%s\n", text.c_str());
    return kExitSuccess;
}
