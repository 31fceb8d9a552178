// Helpers of the fault-injection tests.
#include "fault_support.h"

#include "package_support.h"

std::string ServerSite(const char* server) {
    return "127.0.0.1:" + std::to_string(TestServerPort(server));
}

std::string FaultDescription(const std::string& site, const std::string& sourceDir,
                             const char* protocol, bool allowIntervention) {
    return std::string("[defs]\r\ncomponents=client\r\n") +
           (allowIntervention ? "" : "allowintervention=FALSE\r\n") +
           "[client]\r\nname=Corvane Halverd Client\r\nsize=64\r\nsite=" + site +
           "\r\nsourceDir=" + sourceDir + "\r\nfiles=Corvane.exe\r\nProtocol=" + protocol + "\r\n";
}

int CountInFile(const std::string& path, const std::string& needle, size_t from, size_t to) {
    std::string bytes = ReadWholeFile(path);
    if (bytes == "<missing>" || from > bytes.size()) return 0;
    bytes = bytes.substr(from, to == std::string::npos ? std::string::npos : to - from);
    int n = 0;
    for (size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + 1))
        ++n;
    return n;
}

size_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

void KillProcess(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) return;
    TerminateProcess(process, 9);
    WaitForSingleObject(process, faultPatience);
    CloseHandle(process);
}

void FaultFixture::SetUp() {
    InstallerFixture::SetUp();
    ASSERT_NE(0, TestServerPort("nginx")) << "the test servers are not running";
    nginxLog = TestServersDirectory() + "\\logs\\access.log";
}

std::string FaultFixture::Publish(const std::string& name, size_t size, unsigned seed) {
    std::string content = PseudoRandomBytes(size, seed);
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\" + name, content, faultPartSize);
    DeleteFileA((TestServersDirectory() + "\\www\\pkg\\" + name + "\\fault.off").c_str());
    return content;
}

std::vector<bool> FaultFixture::CompleteParts(const std::string& content) const {
    std::vector<bool> complete;
    for (size_t n = 0; n < PartCount(content); ++n)
        complete.push_back(ReadWholeFile(work + "\\" + PartName(n)) ==
                           content.substr(n * faultPartSize, faultPartSize));
    return complete;
}

int FaultFixture::CompleteCount(const std::string& content) const {
    int n = 0;
    for (bool complete : CompleteParts(content)) n += complete;
    return n;
}

void FaultFixture::ForgetDownload() const {
    DeleteFileA((work + "\\Corvane.exe").c_str());
    DeleteFileA((work + "\\pkginfo.txt").c_str());
    for (size_t n = 0; FileExists(work + "\\" + PartName(n)); ++n)
        DeleteFileA((work + "\\" + PartName(n)).c_str());
    DeleteFileA(StateProfilePath().c_str());
}

int FaultFixture::RunToTheEnd(const std::string& setup) {
    InstallerProcess run(setup, "/NoIntervention");
    if (!run.Started()) return -2;
    return run.WaitForExit(faultPatience);
}
