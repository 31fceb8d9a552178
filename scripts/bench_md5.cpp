// The installer's MD5 on this machine, for `make bench`: digests MEBIBYTES of a fixed
// 1 MiB block, one block per update, and prints the rate in MiB/s.
//   bench_md5 MEBIBYTES
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "transfer/md5.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const size_t block = 1024 * 1024;
    const long mebibytes = atol(argv[1]);
    unsigned char* data = static_cast<unsigned char*>(malloc(block));
    if (data == nullptr || mebibytes <= 0) return 1;
    for (size_t i = 0; i < block; ++i) data[i] = static_cast<unsigned char>(i * 31 + (i >> 9));
    // Processor time, as `openssl speed` counts it: other work on the machine does not
    // enter the figure.
    timespec start, end;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    Md5 md5;
    for (long i = 0; i < mebibytes; ++i) md5.Update(data, block);
    unsigned char digest[kMd5DigestSize];
    md5.Final(digest);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                     static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.1f %02x\n", static_cast<double>(mebibytes) / seconds, digest[0]);
    free(data);
    return 0;
}
