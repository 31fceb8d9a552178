// "list": one line per payload record, its size in bytes, a tab and its name; then
// whether the image is signed, when it is.
#include "tools/cvpublish/commands.h"
#include "tools/cvpublish/payload_file.h"

namespace {

bool PrintRecord(void*, PayloadFile*, const PayloadRecord& record) {
    printf("%lu\t%s\n", static_cast<unsigned long>(record.contentSize), record.name);
    return true;
}

}  // namespace

int RunList(int argc, char** argv) {
    if (argc != 1) {
        fprintf(stderr, "usage: cvpublish list EXE\n");
        return kExitUsage;
    }
    PayloadFile exe;
    if (!OpenPayloadFile(argv[0], "rb", &exe)) return kExitFailure;
    bool listed = true;
    if (exe.trailer.state == TrailerAbsent)
        printf("no payload\n");
    else
        listed = WalkPayload(&exe, PrintRecord, nullptr);
    // Only a signed image says so: the record lines stay as scripts read them.
    if (exe.end.signing != ImageUnsigned) printf("image: %s\n", SigningText(exe));
    ClosePayloadFile(&exe);
    return listed ? kExitSuccess : kExitFailure;
}
