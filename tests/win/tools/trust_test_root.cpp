// Makes the tests' Wine prefix trust this run's test root: adds the DER certificate named
// on the command line to the local machine's "Root" store of the prefix the program runs
// in. Only the tests' own prefix is ever touched; the machine's trust stays as it is.
//   trust_test_root PATH-OF-ROOT.DER
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

#include <vector>

namespace {

bool ReadWholeFile(const char* path, std::vector<BYTE>* bytes) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    BYTE buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    fclose(file);
    return !bytes->empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: trust_test_root PATH-OF-ROOT.DER\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!ReadWholeFile(argv[1], &der)) {
        fprintf(stderr, "trust_test_root: cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE root =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (root == nullptr) {
        fprintf(stderr, "trust_test_root: no Root store (%lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) {
        fprintf(stderr, "trust_test_root: the root was not added (%lu)\n", error);
        return 1;
    }
    printf("trust_test_root: %s trusted in this prefix\n", argv[1]);
    return 0;
}
