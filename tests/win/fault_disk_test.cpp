// The real installer downloading onto a full disk: a small tmpfs holds the work
// directory. The transfer fails, the run ends keeping its files, and once space is
// freed the next run completes the download.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"

#include <gtest/gtest.h>

namespace {

// The Unix path of a path on Wine's drive Z:, which maps the root directory.
std::string UnixPath(const std::string& path) {
    std::string unix = path.substr(path.find(':') + 1);
    for (char& c : unix) c = c == '\\' ? '/' : c;
    return unix;
}

// Runs a shell command on the host (Wine starts Unix programs, though without a process
// handle) and waits until it has written its status into a file; true for status 0.
bool HostShell(const std::string& command) {
    static int count = 0;
    std::string status = ModuleDirectory() + "\\fault-shell-" + std::to_string(++count) + ".txt";
    DeleteFileA(status.c_str());
    std::string line = "Z:\\bin\\sh -c \"" + command + "; echo $? >" + UnixPath(status) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    bool done =
        WaitUntil([&] { return ReadWholeFile(status).find('\n') != std::string::npos; }, 20000);
    std::string result = ReadWholeFile(status);
    DeleteFileA(status.c_str());
    return done && result == "0\n";
}

class FaultDisk : public FaultFixture {
protected:
    void SetUp() override {
        ftp = FtpAddress();
        if (ftp.empty())
            GTEST_SKIP() << "no FTP test server: tests/servers/start runs it only as root";
        disk = ModuleDirectory() + "\\fault-disk";
        mounted = HostShell("mkdir -p " + UnixPath(disk) + " && mount -t tmpfs -o size=1m tmpfs " +
                            UnixPath(disk));
        if (!mounted)
            GTEST_SKIP() << "mounting a small tmpfs is not permitted here (it needs root)";
        FaultFixture::SetUp();
        work = disk + "\\work";
        SetRecordedWorkDirectory(work);
    }
    void TearDown() override {
        if (!mounted) return;
        FaultFixture::TearDown();
        EXPECT_TRUE(HostShell("umount " + UnixPath(disk) + " && rmdir " + UnixPath(disk)));
    }
    static std::string FtpAddress() {
        char value[64];
        GetPrivateProfileStringA("servers", "ftp", "", value, sizeof value,
                                 (TestServersDirectory() + "\\ports.ini").c_str());
        return value;
    }
    std::string ftp, disk;
    bool mounted = false;
};

}  // namespace

// ctest-labels FaultDisk: servers
// A 3 MiB ftp file and a 2 MiB http package do not fit the 1 MiB disk. Both workers
// report the failed write as such, whether a part or the joined file did not fit, and
// the http worker stops at once instead of asking the server again and again.
TEST_F(FaultDisk, AFullDiskEndsKeepingTheFilesAndTheNextRunCompletes) {
    std::string ftpDescription = FaultDescription(ftp, "pub", "ftp");
    ftpDescription.replace(ftpDescription.find("Corvane.exe"), 11, "big.bin");
    ftpDescription += "user=anonymous\r\n";  // the ftp worker sends the user as given
    std::string package = Publish("disk-http", 2 * 1024 * 1024, 71);
    struct Case {
        const char* what;
        std::string description, file, content, status;
    };
    const Case cases[] = {
        {"ftp", ftpDescription, "big.bin",
         ReadWholeFile(TestServersDirectory() + "\\ftp\\pub\\big.bin"),
         "Error while downloading big.bin: Out of disk space. Remove some files and run again."},
        {"http", FaultDescription(ServerSite("nginx"), "pkg/disk-http"), "Corvane.exe", package,
         "Error while downloading Corvane.exe: Out of disk space. Remove some files and run "
         "again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", c.description}});
        {
            // Unattended: nobody is asked, the exit code and the log tell what happened.
            const std::string log = scratch.Path() + "\\disk.log";
            DeleteFileA(log.c_str());
            InstallerProcess run(setup, "/NoIntervention \"/Log=" + log + "\"");
            ASSERT_TRUE(run.Started());
            EXPECT_EQ(5, run.WaitForExit(faultPatience));
            std::string text = ReadWholeFile(log);
            EXPECT_NE(std::string::npos, text.find(c.status)) << text;
        }
        // Ended keeping its files: the work directory, its record and the shortcut stay.
        EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
        EXPECT_EQ(work, ReadRecordedWorkDirectory());
        EXPECT_EQ(" /NoIntervention", Shortcut().arguments);
        EXPECT_FALSE(FileExists(work + "\\" + c.file));
        std::vector<bool> kept = CompleteParts(package);
        int keptCount = 0;
        for (bool k : kept) keptCount += k;
        if (c.file == "Corvane.exe") {
            EXPECT_GT(keptCount, 0);
        }

        ASSERT_TRUE(HostShell("mount -o remount,size=16m " + UnixPath(disk)));
        size_t secondRun = FileLength(nginxLog);
        EXPECT_EQ(0, RunToTheEnd(setup));
        EXPECT_TRUE(ReadWholeFile(work + "\\" + c.file) == c.content) << c.file << " differs";
        // Parts verified before the disk filled are not fetched again.
        for (size_t n = 0; n < kept.size(); ++n) {
            if (kept[n]) {
                EXPECT_EQ(0, CountInFile(nginxLog, "/disk-http/" + PartName(n) + " ", secondRun))
                    << PartName(n);
            }
        }
        ASSERT_TRUE(HostShell("rm -rf " + UnixPath(work) + " && mount -o remount,size=1m " +
                              UnixPath(disk)));
        DeleteFileA(StateProfilePath().c_str());
    }
}
