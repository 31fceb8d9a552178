// Network faults while the real installer fetches a package from the scripted server:
// a connection reset in the middle of a part, garbage instead of a response head, a
// server that hangs up after a silence, a head that never ends, and a server that stops
// answering altogether. Parts already verified stay on disk and are never fetched again.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"
#include "transfer/http_client_win.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace {

const size_t parts = 6;

class FaultNetwork : public FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        log = TestServersDirectory() + "\\logs\\fault_access.log";
        logStart = FileLength(log);
    }
    // Requests of one file under /fault/<fault>/<name>/ since the test began.
    int Requests(const std::string& fault, const std::string& name, const std::string& file) {
        return CountInFile(log, "/fault/" + fault + "/" + name + "/" + file + " ", logStart);
    }
    // A port of the scripted server on which connections are refused for the given
    // seconds and served from then on; 0 when the server did not say.
    int ListenLater(int seconds) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 0;
        std::string answer = scratch.Path() + "\\later.txt";
        std::string target = ServerSite("scripted") + "/listen-later/" + std::to_string(seconds);
        int got;
        {
            HttpClient client(0);
            got =
                client.SetTarget(target.c_str(), "") ? client.GetFile(nullptr, answer.c_str()) : -1;
        }
        WSACleanup();
        return got == 0 ? atoi(ReadWholeFile(answer).c_str()) : 0;
    }
    std::string log;
    size_t logStart = 0;
};

}  // namespace

// ctest-labels FaultNetwork: servers
TEST_F(FaultNetwork, TransientFaultsAreRetriedAndOnlyTheBrokenPartIsFetchedAgain) {
    struct Case {
        const char* fault;  // <kind>.<part>.<times>: see tests/servers/scripted_server.py
        size_t part;
        int times;
    };
    const Case cases[] = {
        {"reset.3.1", 3, 1},     // half a part, then a connection reset
        {"garbage.2.2", 2, 2},   // bytes that are no HTTP head, twice
        {"hangup.5.1", 5, 1},    // half the last part, a silence, then a close
        {"longhead.0.1", 0, 1},  // a head longer than anything the client reads
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ForgetDownload();
        std::string name = std::string("net-") + c.fault;
        for (char& ch : name) ch = ch == '.' ? '-' : ch;
        std::string content = Publish(name, parts * faultPartSize - 77, 31);
        std::string source = std::string("fault/") + c.fault + "/" + name;
        std::string setup = MakeInstaller(
            scratch.Path(), {{"tarrock.inf", FaultDescription(ServerSite("scripted"), source)}});
        EXPECT_EQ(0, RunToTheEnd(setup));
        EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
        EXPECT_EQ(1, Requests(c.fault, name, "pkginfo.txt"));
        for (size_t n = 0; n < parts; ++n)
            EXPECT_EQ(n == c.part ? c.times + 1 : 1, Requests(c.fault, name, PartName(n)))
                << PartName(n);
    }
}

// The server goes silent in the middle of file003.bin and stays so. Suspend ends the transfer
// at once instead of after the client's time-out; the next start resumes from file003.bin.
TEST_F(FaultNetwork, ASilentServerIsLeftThroughSuspendAndTheNextStartResumes) {
    const std::string fault = "silence.3.0", name = "net-silent";
    std::string content = Publish(name, parts * faultPartSize - 5, 32);
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf",
          FaultDescription(ServerSite("scripted"), "fault/" + fault + "/" + name, "http", true)}});
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND dialog = user.WaitForDialog("Resuming Download of Software...", faultPatience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    ASSERT_TRUE(WaitUntil([&] { return Requests(fault, name, PartName(3)) >= 1; }, faultPatience));
    Sleep(1000);  // well into the silence
    DWORD pressed = GetTickCount();
    ASSERT_TRUE(Person::Press(dialog, 1004));  // Suspend
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "suspended", faultPatience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_LT(GetTickCount() - pressed, 10000u) << "the run waited for the silent server";
    ASSERT_TRUE(Person::Answer(box, IDOK));
    std::vector<bool> kept = CompleteParts(content);
    std::vector<bool> expected = {true, true, true, false, false, false};
    EXPECT_EQ(expected, kept);

    // The server answers again; a second start opens the waiting instance.
    WriteWholeFile(TestServersDirectory() + "\\www\\pkg\\" + name + "\\fault.off", "");
    {
        InstallerProcess second(setup, "");
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(1, second.WaitForExit(faultPatience));
    }
    HWND ready = user.WaitForDialog("Ready to Install", faultPatience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    ASSERT_TRUE(Person::Press(ready, 1));
    EXPECT_EQ(0, run.WaitForExit(faultPatience));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
    // file004.bin and file005.bin were requested ahead while file003.bin arrived (the
    // worker keeps up to three requests ahead); those requests went with the suspension.
    for (size_t n = 0; n < parts; ++n)
        EXPECT_EQ(n >= 3 ? 2 : 1, Requests(fault, name, PartName(n))) << PartName(n);
}

// The network comes up only 5 s after the installer started, as at log-on: nothing answers
// at first, the status line says that the installer waits, the ladder is tried again, and
// the download completes without anyone being asked for HTTP settings.
TEST_F(FaultNetwork, ANetworkThatComesUpLaterIsWaitedForUnattended) {
    const std::string name = "net-later";
    std::string content = Publish(name, 3 * faultPartSize - 11, 33);
    int port = ListenLater(5);
    ASSERT_NE(0, port);
    // Part 99 does not exist: the package is served as published.
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", FaultDescription("127.0.0.1:" + std::to_string(port),
                                                          "fault/reset.99.1/" + name)}});
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND dialog = user.WaitForDialog("Resuming Download of Software...", faultPatience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    bool waitingShown = false, settingsShown = false;
    WindowQuery settings;
    settings.caption = "HTTP Settings";
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, run.Id());
    WaitUntil(
        [&] {
            if (Person::ControlText(dialog, 1002).find("Waiting for the network...") == 0)
                waitingShown = true;
            if (user.FindTopWindow(settings) != nullptr) settingsShown = true;
            return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        },
        faultPatience);
    CloseHandle(process);
    EXPECT_EQ(0, run.WaitForExit(faultPatience));
    EXPECT_TRUE(waitingShown);
    EXPECT_FALSE(settingsShown);
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
}
