// The reference of `make bench`'s loopback row: the least a WinSock program must do to
// fetch a package's parts under the same Wine. One blocking connection per part, one
// HTTP/1.0 GET, 64 KiB receives, every body appended to one file; no checks at all.
//   bench_reader HOST PORT REMOTE-DIRECTORY PARTS OUTPUT RESULT-FILE
// REMOTE-DIRECTORY is like "/pkg/p1M/"; the parts are file000.bin onwards. The result file
// holds result= and seconds= (a program under Wine has no console to print to).
#include <winsock.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int receiveSize = 64 * 1024;
char block[receiveSize];

bool WriteAll(HANDLE file, const char* data, int count) {
    DWORD written = 0;
    return count == 0 || (WriteFile(file, data, static_cast<DWORD>(count), &written, nullptr) &&
                          written == static_cast<DWORD>(count));
}

// Sends the GET of one part and appends its body to output. False on any failure.
bool FetchPart(const sockaddr_in& address, const char* host, const char* directory, unsigned index,
               HANDLE output) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return false;
    bool ok = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    char request[512];
    int length =
        snprintf(request, sizeof request, "GET %sfile%03u.bin HTTP/1.0\r\nHost: %s\r\n\r\n",
                 directory, index, host);
    ok = ok && length > 0 && length < static_cast<int>(sizeof request) &&
         send(s, request, length, 0) == length;
    bool inBody = false;
    int headMatched = 0;  // how much of "\r\n\r\n" the bytes so far end with
    while (ok) {
        int count = recv(s, block, receiveSize, 0);
        if (count <= 0) {
            ok = count == 0 && inBody;
            break;
        }
        int bodyStart = 0;
        const char end[] = "\r\n\r\n";
        while (!inBody && bodyStart < count) {
            headMatched = block[bodyStart] == end[headMatched] ? headMatched + 1
                          : block[bodyStart] == '\r'           ? 1
                                                               : 0;
            ++bodyStart;
            inBody = headMatched == 4;
        }
        if (inBody) ok = WriteAll(output, block + bodyStart, count - bodyStart);
    }
    closesocket(s);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(argv[1]);
    address.sin_port = htons(static_cast<u_short>(atoi(argv[2])));
    const unsigned parts = static_cast<unsigned>(strtoul(argv[4], nullptr, 10));
    HANDLE output = CreateFileA(argv[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool ok = true;
    for (unsigned n = 0; ok && n < parts; ++n) ok = FetchPart(address, argv[1], argv[3], n, output);
    ok = CloseHandle(output) && ok;
    QueryPerformanceCounter(&end);
    FILE* result = fopen(argv[6], "w");
    if (result == nullptr) return 1;
    fprintf(result, "result=%d\nseconds=%.4f\n", ok ? 0 : 1,
            static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    fclose(result);
    return ok ? 0 : 1;
}
