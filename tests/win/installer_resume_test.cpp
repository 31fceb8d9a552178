// The real installer fetching a package from the test nginx across runs: killed in the
// middle and started again it goes on from the parts already on disk, a damaged part
// on disk is fetched again alone, and a package whose total does not match fails.
#include "config/payload_format.h"
#include "transfer/md5.h"
#include "driver/person.h"
#include "driver/shell_link.h"
#include "package_support.h"
#include "installer_fixture.h"
#include "process_support.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const DWORD patience = 30000;
const DWORD slowPatience = 90000;
const size_t partSize = 4096;

// One component, Corvane.exe, fetched over http from the test nginx at sourceDir.
std::string Description(const std::string& sourceDir) {
    // Without intervention a finished download is installed at once, without a prompt.
    return "[defs]\r\ncomponents=client\r\nstrings=S\r\nallowintervention=FALSE\r\n"
           "[S]\r\nName=Corvane Halverd Client\r\n"
           "[client]\r\nname=%Name%\r\nsize=64\r\nsite=127.0.0.1:" +
           std::to_string(TestServerPort("nginx")) + "\r\nsourceDir=" + sourceDir +
           "\r\nfiles=Corvane.exe\r\nProtocol=http\r\n";
}

size_t PartCount(const std::string& content) { return (content.size() + partSize - 1) / partSize; }

// Publishes content as www/pkg/name (also reachable slowly as slow/name); a total of
// totalSum replaces the right one.
void Publish(const std::string& name, const std::string& content, const char* totalSum = nullptr) {
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\" + name, content, partSize, totalSum);
}

// Keeps the prefix's record, state profile and shortcut out of the other tests' way,
// and reads nginx's access log from where it stood when the test began.
class InstallerResume : public InstallerFixture {
protected:
    void SetUp() override {
        InstallerFixture::SetUp();
        ASSERT_NE(0, TestServerPort("nginx")) << "the test servers are not running";
        accessLog = TestServersDirectory() + "\\logs\\access.log";
        logStart = LogSize();
    }

    size_t LogSize() { return ReadWholeFile(accessLog).size(); }
    // Requests of "/<directory>/<file> " logged between from and to (log offsets).
    int Requests(const std::string& directory, const std::string& file, size_t from,
                 size_t to = std::string::npos) {
        std::string log = ReadWholeFile(accessLog);
        if (from > log.size()) return 0;
        log = log.substr(from, to == std::string::npos ? std::string::npos : to - from);
        std::string needle = "/" + directory + "/" + file + " ";
        int n = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
            ++n;
        return n;
    }
    // The log's lines from offset on, for the message of a failed count: which connection
    // asked, as its how-manieth request, and the status it got.
    std::string LogFrom(size_t from) {
        std::string log = ReadWholeFile(accessLog);
        return from > log.size() ? std::string() : log.substr(from);
    }
    // Parts in the work directory that hold exactly the bytes published for them.
    std::vector<bool> CompleteParts(const std::string& content) {
        std::vector<bool> complete;
        for (size_t n = 0; n < PartCount(content); ++n)
            complete.push_back(ReadWholeFile(work + "\\" + PartName(n)) ==
                               content.substr(n * partSize, partSize));
        return complete;
    }
    // Runs the installer without the welcome prompt until it ends by itself.
    int RunToTheEnd(const std::string& setup) {
        InstallerProcess run(setup, "/NoIntervention");
        if (!run.Started()) return -2;
        return run.WaitForExit(slowPatience);
    }

    std::string accessLog;
    size_t logStart = 0;
};

}  // namespace

// ctest-labels InstallerResume: servers
TEST_F(InstallerResume, KilledInTheMiddleTheNextRunFetchesOnlyWhatIsMissing) {
    const std::string name = "resume-killed";
    std::string content = PseudoRandomBytes(16 * partSize - 100, 21);
    Publish(name, content);
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", Description("slow/" + name)}});
    {
        InstallerProcess run(setup, "/NoIntervention");
        ASSERT_TRUE(run.Started());
        auto completeCount = [&] {
            int n = 0;
            for (bool complete : CompleteParts(content)) n += complete;
            return n;
        };
        ASSERT_TRUE(WaitUntil([&] { return completeCount() >= 3; }, slowPatience));
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, run.Id());
        ASSERT_NE(nullptr, process);
        TerminateProcess(process, 9);
        WaitForSingleObject(process, patience);
        CloseHandle(process);
    }
    std::vector<bool> before = CompleteParts(content);
    int completeBefore = 0;
    for (bool complete : before) completeBefore += complete;
    ASSERT_LT(completeBefore, static_cast<int>(before.size())) << "the run was not interrupted";
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
    // Let nginx log the request it was serving to the killed run.
    Sleep(1500);
    size_t restart = LogSize();

    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
    for (size_t n = 0; n < before.size(); ++n) {
        SCOPED_TRACE(PartName(n));
        EXPECT_LE(Requests("slow/" + name, PartName(n), logStart), 2);
        if (before[n]) {
            EXPECT_EQ(1, Requests("slow/" + name, PartName(n), logStart, restart));
            EXPECT_EQ(0, Requests("slow/" + name, PartName(n), restart));
        } else {
            EXPECT_EQ(1, Requests("slow/" + name, PartName(n), restart)) << LogFrom(restart);
        }
    }
}

TEST_F(InstallerResume, ADamagedPartOnDiskIsTheOnlyPartFetchedAgain) {
    const std::string name = "resume-damaged";
    std::string content = PseudoRandomBytes(8 * partSize + 300, 22);
    Publish(name, content);
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", Description("pkg/" + name)}});
    ASSERT_EQ(0, RunToTheEnd(setup));
    ASSERT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content);

    std::string part3 = ReadWholeFile(work + "\\file003.bin");
    part3[100] = static_cast<char>(part3[100] ^ 0x5A);
    WriteWholeFile(work + "\\file003.bin", part3);
    DeleteFileA((work + "\\Corvane.exe").c_str());
    // A download recorded as complete would skip the fetch; this run must check the parts.
    DeleteFileA(StateProfilePath().c_str());
    size_t secondRun = LogSize();
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
    EXPECT_EQ(1, Requests("pkg/" + name, "pkginfo.txt", secondRun));
    for (size_t n = 0; n < PartCount(content); ++n) {
        SCOPED_TRACE(PartName(n));
        EXPECT_EQ(n == 3 ? 1 : 0, Requests("pkg/" + name, PartName(n), secondRun));
    }
}

// Unattended (allowintervention=FALSE), nobody reads message 585: the run ends with the
// download's exit code, and the verified parts stay for the next start.
TEST_F(InstallerResume, AWrongTotalFailsTheFileAndKeepsTheParts) {
    const std::string name = "resume-wrong-total";
    std::string content = PseudoRandomBytes(3 * partSize + 10, 23);
    Publish(name, content, "12345");
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", Description("pkg/" + name)}});
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    EXPECT_EQ(5, run.WaitForExit(patience)) << user.DescribeWindows();
    std::vector<bool> parts = CompleteParts(content);
    for (size_t n = 0; n < parts.size(); ++n) EXPECT_TRUE(parts[n]) << PartName(n);
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
}
