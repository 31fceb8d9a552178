// Packages, payloads and server ports for the tests.
#include "package_support.h"

#include <windows.h>

#include <stdio.h>

#include "shell/directories_win.h"
#include "config/payload_format.h"
#include "process_support.h"
#include "transfer/md5.h"

std::string TestServersDirectory() { return ModuleDirectory() + "\\servers"; }

int TestServerPort(const char* name) {
    return GetPrivateProfileIntA("servers", name, 0,
                                 (TestServersDirectory() + "\\ports.ini").c_str());
}

std::string MakeInstaller(const std::string& directory, const PayloadFiles& files) {
    std::string image = ModuleDirectory() + "\\cvget.exe";
    std::string installer = directory + "\\setup.exe";
    CopyFileA(image.c_str(), installer.c_str(), FALSE);
    FILE* f = fopen(installer.c_str(), "ab");
    if (f == nullptr) return "";
    fseek(f, 0, SEEK_END);
    uint32_t payloadStart = static_cast<uint32_t>(ftell(f));
    for (const auto& file : files) {
        RecordHeader header = {static_cast<uint32_t>(file.second.size()),
                               static_cast<uint16_t>(file.first.size() + 1), 0xFFFF};
        unsigned char bytes[8];
        EncodeRecordHeader(header, bytes);
        fwrite(bytes, 1, sizeof bytes, f);
        fwrite(file.first.c_str(), 1, file.first.size() + 1, f);
        fwrite(file.second.data(), 1, file.second.size(), f);
    }
    unsigned char trailer[16];
    EncodeTrailer(payloadStart, trailer);
    fwrite(trailer, 1, sizeof trailer, f);
    fclose(f);
    return installer;
}

std::string PseudoRandomBytes(size_t size, unsigned seed) {
    std::string s(size, '\0');
    unsigned x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

std::string ChecksumText(const std::string& bytes) {
    char text[kChecksumTextSize];
    FormatPackageChecksum(ComputePackageChecksum(bytes.data(), bytes.size()), text);
    return text;
}

std::string PartName(size_t index) {
    char name[32];
    snprintf(name, sizeof name, "file%03u.bin", static_cast<unsigned>(index));
    return name;
}

void PublishPackage(const std::string& directory, const std::string& content, size_t partSize,
                    const char* totalSum) {
    CreateParentDirectories((directory + "\\pkginfo.txt").c_str());
    std::string files = "[files]\r\n", sums = "[sums]\r\n";
    for (size_t at = 0, n = 0; at < content.size(); at += partSize, ++n) {
        std::string part = content.substr(at, partSize);
        WriteWholeFile(directory + "\\" + PartName(n), part);
        files += PartName(n) + "=" + std::to_string(part.size()) + "\r\n";
        sums += PartName(n) + "=" + ChecksumText(part) + "\r\n";
    }
    sums += "total_sum=" + (totalSum != nullptr ? std::string(totalSum) : ChecksumText(content)) +
            "\r\n";
    WriteWholeFile(directory + "\\pkginfo.txt", files + sums);
}

std::string StateProfilePath() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\tarrock.ini";
}
