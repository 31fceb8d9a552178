// The real installer fetching ftp components from the FTP test servers (Debian's
// pyftpdlib), used as a person uses it: the welcome prompt, the download dialog with
// its status line and progress bar, "Ready to Install", and what the installed
// program and the work directory show afterwards.
#include "common/status_line.h"
#include "driver/person.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"
#include "signing_support.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <set>
#include <string>

namespace {

const DWORD patience = 60000;
const char bigFile[] = "pub\\big.bin";
const int bigKilobytes = 3072;  // its 3,145,851 bytes as the status line shows them

// The welcome prompt, recognised by its text so that no other box of the run is taken
// for it; null when it did not come.
HWND WaitForWelcome(const Person& user) {
    WindowQuery query;
    query.caption = "Corvane Lite Installer";
    query.controlId = 0xFFFF;
    query.controlText = "will download the necessary components";
    return user.WaitForWindow(query, patience);
}

// Answers the welcome prompt with Return; gives the download dialog that follows, or null.
HWND ContinueFrom(const Person& user, HWND welcome) {
    if (welcome == nullptr || !user.PressEnter(welcome)) return nullptr;
    return user.WaitForDialog("Downloading Software...", patience);
}

HWND ContinueFromWelcome(const Person& user) { return ContinueFrom(user, WaitForWelcome(user)); }

std::string FtpAddress(const char* name) {
    char value[64];
    GetPrivateProfileStringA("servers", name, "", value, sizeof value,
                             (TestServersDirectory() + "\\ports.ini").c_str());
    return value;
}

std::string ServedPath(const char* path) { return TestServersDirectory() + "\\ftp\\" + path; }

class FtpRun : public InstallerFixture {
public:
    void SetUp() override {
        passive = FtpAddress("ftp");
        active = FtpAddress("ftp_nopasv");
        if (passive.empty() || active.empty())
            GTEST_SKIP() << "no FTP test servers: tests/servers/start runs them only as root "
                            "(port 21) with python3-pyftpdlib installed";
        InstallerFixture::SetUp();
    }
    std::string passive;
    std::string active;
    using InstallerFixture::scratch;
    using InstallerFixture::work;
};

}  // namespace

// ctest-labels FtpRun: servers
TEST_F(FtpRun, ComponentsFromTwoFtpSitesAreDownloadedThroughTheDialogAndInstalled) {
    // The client program, anonymously (the description names the user "anonymous")
    // and passively from one server; a large data file
    // with a named login, actively from the server that refuses passive mode, paced so
    // that its progress can be watched.
    std::string program = ReadWholeFile(ModuleDirectory() + "\\record_app.exe");
    ASSERT_NE("<missing>", program);
    CreateDirectoryA(ServedPath("pub\\e2e").c_str(), nullptr);
    WriteWholeFile(ServedPath("pub\\e2e\\record.exe"), program);
    std::string description =
        "[defs]\r\ncomponents=client,data\r\n"
        "[client]\r\nname=Corvane FTP Client\r\nsize=400\r\nsite=" +
        passive +
        "\r\nuser=anonymous\r\nsourceDir=pub/e2e\r\nfiles=record.exe\r\nProtocol=ftp\r\n"
        "install1=run,record.exe,-ftp\r\n"
        "[data]\r\nname=Corvane FTP Data\r\nsize=3072\r\nsite=" +
        active +
        "\r\nuser=paced\r\npassword=Ftp-Pass-9\r\nsourceDir=pub\r\nfiles=big.bin\r\n"
        "Protocol=FTP\r\n";
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND dialog = ContinueFromWelcome(user);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    HWND status = GetDlgItem(dialog, 1002);
    HWND bar = GetDlgItem(dialog, 1001);

    // Watch the dialog as a person would until "Ready to Install".
    std::set<std::string> texts;
    bool partialBar = false;
    WindowQuery ready;
    ready.className = Person::dialogClass;
    ready.caption = "Ready to Install";
    HWND readyBox = nullptr;
    WaitUntil(
        [&] {
            texts.insert(Person::Text(status));
            ProgressState progress = Person::Progress(bar);
            if (progress.high == static_cast<int>(kProgressRange) && progress.position > 0 &&
                progress.position < static_cast<int>(kProgressRange))
                partialBar = true;
            readyBox = user.FindTopWindow(ready);
            return readyBox != nullptr;
        },
        patience);
    ASSERT_NE(nullptr, readyBox) << user.DescribeWindows();

    // The status line and the bar went through the large file as for any download, never
    // counting past its size. (The last count stands only for a moment before the next
    // text: a watcher on a loaded machine may not see it, so it is not required.)
    bool partialText = false;
    for (const std::string& text : texts) {
        int done = -1, total = -1;
        const char format[] = "Downloading file 'big.bin' (%dK of %dK)...";
        if (sscanf(text.c_str(), format, &done, &total) != 2) continue;
        EXPECT_EQ(bigKilobytes, total) << text;
        EXPECT_LE(done, bigKilobytes) << text;
        if (done > 0 && done < bigKilobytes) partialText = true;
    }
    EXPECT_TRUE(partialText);
    EXPECT_TRUE(partialBar);
    // The installation has begun: it set the bar back to 0 within the same range.
    EXPECT_EQ(static_cast<int>(kProgressRange), Person::Progress(bar).high);

    ASSERT_TRUE(Person::Press(readyBox, 1));  // &Install
    // The program wrote no success: the run ends keeping the files.
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ("\"" + work + "\\record.exe\" -ftp\r\n" + work + "\r\n",
              ReadWholeFile(work + "\\record.exe.txt"));
    EXPECT_TRUE(ReadWholeFile(work + "\\big.bin") == ReadWholeFile(ServedPath(bigFile)));
    EXPECT_EQ(program, ReadWholeFile(work + "\\record.exe"));
    EXPECT_FALSE(FileExists(work + "\\tmp.tmp"));
}

// Runs an installer whose one ftp component is record.exe from sourceDir, and expects
// the run to end with the status line status and message 585, keeping nothing of the
// file. With holdTemporaryFile, the test holds the run's temporary file open without
// sharing from the welcome prompt on, as another program might. defs adds lines to [defs].
void ExpectRunToFailWith(FtpRun& test, const char* sourceDir, bool holdTemporaryFile,
                         const std::string& status, const std::string& defs = "") {
    std::string description =
        "[defs]\r\ncomponents=client\r\n" + defs +
        "[client]\r\nname=Corvane FTP Client\r\nsize=400\r\nsite=" + test.passive +
        "\r\nuser=anonymous\r\nsourceDir=" + sourceDir + "\r\nfiles=record.exe\r\nProtocol=ftp\r\n";
    std::string setup = MakeInstaller(test.scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = WaitForWelcome(user);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    HANDLE held = INVALID_HANDLE_VALUE;
    if (holdTemporaryFile) {
        held = CreateFileA((test.work + "\\tmp.tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    HWND dialog = ContinueFrom(user, welcome);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "unable to download", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ(status, Person::ControlText(dialog, 1002));
    EXPECT_EQ("Download error", Person::CellText(GetDlgItem(dialog, 1000), 0, 2));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(5, run.WaitForExit(patience));  // the download failed
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_FALSE(FileExists(test.work + "\\record.exe"));
}

TEST_F(FtpRun, AMissingFileEndsTheRunWithTheReceiveError) {
    ExpectRunToFailWith(*this, "pub/nowhere", false,
                        "Error in receiving file 'record.exe' from '" + passive + "'.");
}

// Not as a full disk: the message says what it is.
TEST_F(FtpRun, ATemporaryFileInUseEndsTheRunSayingItCannotBeWritten) {
    CreateDirectoryA(ServedPath("pub\\e2e").c_str(), nullptr);
    WriteWholeFile(ServedPath("pub\\e2e\\record.exe"), "a program");
    ExpectRunToFailWith(*this, "pub/e2e", true,
                        "Error while downloading record.exe: The file could not be written "
                        "(access denied, or in use by another program).");
}

// Under the publisher's key, plain FTP without pins could bring anybody's program: nothing
// of it is fetched, and the status line says why.
TEST_F(FtpRun, AnUnpinnedComponentUnderThePublishersKeyIsNotFetched) {
    CreateDirectoryA(ServedPath("pub\\e2e").c_str(), nullptr);
    WriteWholeFile(ServedPath("pub\\e2e\\record.exe"),
                   ReadWholeFile(ModuleDirectory() + "\\record_app.exe"));
    TestPublisher publisher;
    ASSERT_TRUE(publisher.Ready());
    ExpectRunToFailWith(*this, "pub/e2e", false,
                        "Corvane FTP Client will not be downloaded or installed: the publisher's "
                        "key is in force, but this component is neither signed nor pinned "
                        "(sha256), so anyone on the network could change it.",
                        "publisherKey=" + publisher.PublicKeyText() + "\r\n");
    EXPECT_FALSE(FileExists(work + "\\tmp.tmp"));
}
