// Helpers shared by the tests that publish packages on the test servers and build
// installers with payloads of their own.
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

// The test servers' state folder beside the test program, and a port from its ports.ini
// ("nginx", "scripted", "proxy", ...); 0 when the servers are not running.
std::string TestServersDirectory();
int TestServerPort(const char* name);

// Copies the bare image cvget.exe into directory as setup.exe and appends the files
// (name, content) as payload records and the trailer. Returns the installer's path.
typedef std::vector<std::pair<std::string, std::string>> PayloadFiles;
std::string MakeInstaller(const std::string& directory, const PayloadFiles& files);

// Reproducible bytes that differ from seed to seed.
std::string PseudoRandomBytes(size_t size, unsigned seed);
// The package checksum of bytes as the manifest writes it.
std::string ChecksumText(const std::string& bytes);
// "file%03u.bin".
std::string PartName(size_t index);
// Writes content into directory (created with its parents if missing) as parts of partSize and the
// manifest pkginfo.txt; totalSum, when given, replaces the right total.
void PublishPackage(const std::string& directory, const std::string& content, size_t partSize,
                    const char* totalSum = nullptr);

// The state profile "tarrock.ini" in the Windows directory.
std::string StateProfilePath();
