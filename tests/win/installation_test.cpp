// The installation at the end of a run, met as a user meets it: the real installer
// downloads (or finds) its components, asks "Ready to Install", starts the programs
// the description names and ends keeping or deleting the files. The started programs
// are the test tree's fixtures: record_app appends its command line and current
// directory to "<its path>.txt", fail_app reports failure through the registry,
// sleep_app waits, and the demo client records success in the state profile.
#include "config/work_directory_win.h"
#include "driver/person.h"
#include "driver/shell_link.h"
#include "package_support.h"
#include "installer_fixture.h"
#include "process_support.h"
#include "read_only_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD patience = 30000;
const char installComponentsKey[] = "SOFTWARE\\Corvane\\Corvane\\InstallComponents";

std::string Fixture(const char* name) { return ReadWholeFile(ModuleDirectory() + "\\" + name); }

// The runs recorded by record_app at path: one command line and one directory each.
struct RecordedRun {
    std::string commandLine;
    std::string directory;
};
std::vector<RecordedRun> RecordedRuns(const std::string& program) {
    std::vector<RecordedRun> runs;
    std::string text = ReadWholeFile(program + ".txt");
    if (text == "<missing>") return runs;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    for (size_t i = 0; i + 1 < lines.size(); i += 2) runs.push_back({lines[i], lines[i + 1]});
    return runs;
}
// The last blank-separated word of each recorded command line.
std::vector<std::string> RecordedTags(const std::string& program) {
    std::vector<std::string> tags;
    for (const RecordedRun& run : RecordedRuns(program))
        tags.push_back(run.commandLine.substr(run.commandLine.rfind(' ') + 1));
    return tags;
}

std::string Profile(const char* section, const char* key) {
    char value[100];
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value,
                             StateProfilePath().c_str());
    return value;
}

void ClearInstallValues() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, installComponentsKey, 0, KEY_ALL_ACCESS, &key) != 0)
        return;
    RegDeleteValueA(key, "Failed");
    RegDeleteValueA(key, "FailedMessage");
    RegCloseKey(key);
}

// Also clears what install actions leave in the registry.
class InstallationTest : public InstallerFixture {
protected:
    void SetUp() override {
        InstallerFixture::SetUp();
        ClearInstallValues();
    }
    void TearDown() override {
        InstallerFixture::TearDown();
        ClearInstallValues();
    }
};

// Local components: their programs stand in a source folder of their own ("copy"), so
// that what they record outlives the work directory.
class InstallationDriver : public InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        source = scratch.Path() + "\\source";
        CreateDirectoryA(source.c_str(), nullptr);
        for (const char* name : {"record_app.exe", "fail_app.exe", "sleep_app.exe"})
            WriteWholeFile(source + "\\" + name, Fixture(name));
    }
    // A component section of protocol copy from the source folder.
    std::string Section(const std::string& name, int displayOrder, int installOrder,
                        const std::string& files, const std::string& entries) {
        return "[" + name + "]\r\nname=" + name + "\r\nprotocol=copy\r\nsourceDir=" + source +
               "\r\nfiles=" + files + "\r\ndisplayOrder=" + std::to_string(displayOrder) +
               "\r\ninstallOrder=" + std::to_string(installOrder) + "\r\n" + entries;
    }
    std::string Record() const { return source + "\\record_app.exe"; }

    std::string source;
};

}  // namespace

TEST_F(InstallationDriver, InstallsInInstallOrderThenDisplayOrderAndNeverFrom10000) {
    std::string description =
        "[defs]\r\ncomponents=Late,Early,Tie,Never,NoPass,Last\r\n" +
        Section("Late", 1, 300, "record_app.exe", "install1=run,record_app.exe,late\r\n") +
        Section("Early", 2, 100, "record_app.exe", "install1=run,record_app.exe,early\r\n") +
        Section("Tie", 3, 100, "record_app.exe", "install1=run,record_app.exe,tie\r\n") +
        Section("Never", 4, 10000, "record_app.exe", "install1=run,record_app.exe,never\r\n") +
        Section("NoPass", 5, 200, "record_app.exe",
                "count=0\r\ninstall1=run,record_app.exe,none\r\n") +
        Section("Last", 6, 400, "sleep_app.exe", "install1=run,sleep_app.exe,4000\r\n");
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    // A local run never shows its dialog; read it while the last program sleeps.
    WindowQuery hiddenDialog;
    hiddenDialog.caption = "Downloading Software...";
    hiddenDialog.mustBeShown = false;
    HWND dialog = user.WaitForWindow(hiddenDialog, patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    ASSERT_TRUE(user.WaitForText(GetDlgItem(dialog, 1002), "Installing 'Last'...", patience));
    EXPECT_FALSE(Person::IsShown(dialog));
    std::vector<std::vector<std::string>> rows = Person::Rows(GetDlgItem(dialog, 1000));
    ASSERT_EQ(6u, rows.size());
    const char* expected[][2] = {
        {"Late", "Installation done."},   {"Early", "Installation done."},
        {"Tie", "Installation done."},    {"Never", "Has been downloaded."},
        {"NoPass", "Installation done."}, {"Last", "Installing..."}};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(expected[i][0], rows[i][0]);
        EXPECT_EQ(expected[i][1], rows[i][2]) << rows[i][0];
    }
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ((std::vector<std::string>{"early", "tie", "late"}), RecordedTags(Record()));
    std::vector<RecordedRun> runs = RecordedRuns(Record());
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ("\"" + source + "\\record_app.exe\" early", runs[0].commandLine);
    EXPECT_EQ(work, runs[0].directory);
    // Local-only and not nested: installed, the work directory is deleted.
    EXPECT_FALSE(FileExists(work));
    // Only a network run deletes the state profile; an installed local run leaves no
    // finished download behind for the next start.
    EXPECT_EQ("0", Profile("download", "complete"));
    EXPECT_EQ("0", Profile("result", "success"));
}

TEST_F(InstallationDriver, OnlyTheLastActionOfAPassCountsAndAFailureStopsEverything) {
    std::string description =
        "[defs]\r\ncomponents=First,Second\r\n" +
        Section("First", 1, 1, "record_app.exe,fail_app.exe",
                "count=3\r\n"
                "extract1=run,fail_app.exe,text\r\ninstall1=run,record_app.exe,pass1\r\n"
                "extract2=run,record_app.exe,pass2\r\ninstall2=run,fail_app.exe,text\r\n"
                "install3=run,record_app.exe,pass3\r\n") +
        Section("Second", 2, 2, "record_app.exe", "install1=run,record_app.exe,second\r\n");
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "failed", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ(
        "Error while installing component 'First': install2 (run,fail_app.exe,text) "
        "failed. Nothing after it was installed.",
        Person::MessageText(box));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(4, run.WaitForExit(patience));
    EXPECT_EQ((std::vector<std::string>{"pass1", "pass2"}), RecordedTags(Record()));
    // Not installed: the files stay and the next start goes straight to installing.
    EXPECT_TRUE(FileExists(work));
    EXPECT_EQ("1", Profile("download", "complete"));
}

// Without elevation the Windows folder and keys under HKEY_LOCAL_MACHINE are the
// user's to read only. Under Wine, which runs every program elevated, a directory in
// the file's place stands for a target that cannot be written, and a key with an
// access list of its own for one the user may not write.
TEST_F(InstallationDriver, AStepThatCannotWriteItsTargetFailsTheComponentAndSaysWhich) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string lockedKey = "Software\\Corvane\\Corvane\\Tests\\DriverLocked";
    struct Case {
        const char* step;
        const char* entries;
        const char* blocked;  // a directory made where the step writes a file
        const char* logged;   // what the log says of the step
    };
    const Case cases[] = {
        {"install1 (copy,cvstep.txt,1)", "install1=copy,cvstep.txt,1\r\n", "cvstep.txt",
         "cvstep.txt could not be copied to "},
        {"extract1 (package,data.pkg,1)", "extract1=package,data.pkg,1\r\n", "cvtest_pkg_a.txt",
         "component 'First': package data.pkg: not unpacked"},
        {"registry1 (Locked)", "registry1=Locked\r\n", nullptr,
         "component 'First': registry section Locked: a "},
    };
    const std::string log = scratch.Path() + "\\install.log";
    WriteWholeFile(source + "\\cvstep.txt", "step");
    ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\packages\\data.pkg").c_str(),
                          (source + "\\data.pkg").c_str(), FALSE));
    for (const Case& c : cases) {
        std::string blocked = c.blocked ? std::string(windows) + "\\" + c.blocked : "";
        if (c.blocked) {
            ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr)) << blocked;
        }
        ReadOnlyKey locked(HKEY_CURRENT_USER, lockedKey);
        ASSERT_TRUE(locked.Ready());
        std::string description =
            "[defs]\r\ncomponents=First,Second\r\n" +
            Section(
                "First", 1, 1, "cvstep.txt,data.pkg,record_app.exe",
                std::string("count=2\r\n") + c.entries + "install2=run,record_app.exe,after\r\n") +
            Section("Second", 2, 2, "record_app.exe", "install1=run,record_app.exe,second\r\n") +
            "[Locked]\r\nHKCU," + lockedKey + ",Denied=s,x\r\n";
        std::string setup =
            MakeInstaller(scratch.Path(),
                          {{"tarrock.inf", description}, {"cvgetex.dll", Fixture("cvgetex.dll")}});
        DeleteFileA(log.c_str());
        InstallerProcess run(setup, "\"/Log=" + log + "\"");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND box = user.WaitForMessageBox("Corvane Lite Installer", "failed", patience);
        ASSERT_NE(nullptr, box) << c.step << "\n" << user.DescribeWindows();
        EXPECT_EQ(std::string("Error while installing component 'First': ") + c.step +
                      " failed. Nothing after it was installed.",
                  Person::MessageText(box));
        ASSERT_TRUE(Person::Answer(box, IDOK));
        EXPECT_EQ(4, run.WaitForExit(patience)) << c.step;  // the exit code says so
        std::string text = ReadWholeFile(log);
        for (std::string logged : {std::string(c.logged), std::string(c.step) + " failed.",
                                   std::string("exit code 4: installation failed")})
            EXPECT_NE(std::string::npos, text.find(logged)) << logged << "\n" << text;
        EXPECT_TRUE(RecordedRuns(Record()).empty()) << c.step;  // nothing after the step
        EXPECT_TRUE(FileExists(work)) << c.step;
        EXPECT_EQ("1", Profile("download", "complete")) << c.step;
        if (c.blocked) RemoveDirectoryA(blocked.c_str());
        DeleteFileA((std::string(windows) + "\\cvtest_pkg_b.txt").c_str());
        DeleteTree(work.c_str());
        SetRecordedWorkDirectory(work);
        DeleteFileA(StateProfilePath().c_str());
    }
}

TEST_F(InstallationDriver, RegistryEntriesOfEachPassAreWritten) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string extraFile = std::string(windows) + "\\cvdriver-extra.inf";
    WriteWholeFile(
        extraFile,
        "[Extra]\r\nHKCU,Software\\Corvane\\Corvane\\Tests\\Driver,From=s,extra file\r\n");
    std::string description =
        "[defs]\r\ncomponents=Keys\r\n" +
        Section("Keys", 1, 1, "record_app.exe",
                "count=2\r\nregistry1=CvKeys\r\nregistry2=Extra@cvdriver-extra.inf\r\n") +
        "[CvKeys]\r\nHKCU,Software\\Corvane\\Corvane\\Tests\\Driver,Interval=n,30\r\n";
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0, run.WaitForExit(patience));
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Corvane\\Tests\\Driver", 0,
                               KEY_READ, &key));
    DWORD type = 0, interval = 0, size = sizeof interval;
    EXPECT_EQ(0, RegQueryValueExA(key, "Interval", nullptr, &type,
                                  reinterpret_cast<BYTE*>(&interval), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(30u, interval);
    char from[64] = {};
    size = sizeof from;
    EXPECT_EQ(0,
              RegQueryValueExA(key, "From", nullptr, &type, reinterpret_cast<BYTE*>(from), &size));
    EXPECT_STREQ("extra file", from);
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Corvane\\Corvane\\Tests\\Driver");
    DeleteFileA(extraFile.c_str());
}

namespace {

// Network runs against the test nginx: the component "client" is fetched from
// /pkg/<directory> as Corvane.exe and installed by "run,Corvane.exe,-run2".
class InstallerInstall : public InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        ASSERT_NE(0, TestServerPort("nginx")) << "the test servers are not running";
        accessLog = TestServersDirectory() + "\\logs\\access.log";
    }
    std::string Description(const std::string& directory, const char* defs = "") {
        return std::string("[defs]\r\ncomponents=client\r\n") + defs +
               "[client]\r\nname=Corvane Halverd Client\r\nsize=6348\r\nsite=127.0.0.1:" +
               std::to_string(TestServerPort("nginx")) + "\r\nsourceDir=pkg/" + directory +
               "\r\nfiles=Corvane.exe\r\nProtocol=http\r\ninstall1=run,Corvane.exe,-run2\r\n";
    }
    // The work directory as a finished download leaves it, with "complete" = 1.
    void PrepareFinishedDownload(const std::string& client) {
        SetRecordedWorkDirectory(work);
        CreateDirectoryA(work.c_str(), nullptr);
        WriteWholeFile(work + "\\Corvane.exe", client);
        WritePrivateProfileStringA("download", "complete", "1", StateProfilePath().c_str());
    }
    int Requests(const std::string& directory, size_t from) {
        std::string log = ReadWholeFile(accessLog);
        if (from > log.size()) return 0;
        int n = 0;
        std::string needle = "/pkg/" + directory + "/";
        for (size_t at = log.find(needle, from); at != std::string::npos;
             at = log.find(needle, at + 1))
            ++n;
        return n;
    }
    // A fresh download run answered as a person does: Continue, then Install.
    void DownloadAndInstall(const std::string& setup, const char* arguments) {
        InstallerProcess run(setup, arguments);
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        ASSERT_NE(nullptr, PressContinue(user)) << user.DescribeWindows();
        HWND ready = user.WaitForDialog("Ready to Install", patience);
        ASSERT_NE(nullptr, ready) << user.DescribeWindows();
        ASSERT_TRUE(Person::Press(ready, 1));
        EXPECT_EQ(0, run.WaitForExit(patience));
    }
    HWND PressContinue(Person& user) {
        HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
        if (welcome == nullptr || !user.PressEnter(welcome)) return nullptr;
        return welcome;
    }

    std::string accessLog;
};

}  // namespace

// ctest-labels InstallerInstall: servers
TEST_F(InstallerInstall, TheTypicalRunInstallsTheClientAndLeavesNothingBehind) {
    // The shipped description, with the site moved to the test nginx's port.
    std::string shipped = ReadWholeFile(SHIPPED_DESCRIPTION);
    ASSERT_NE(std::string::npos, shipped.find("SiteName=127.0.0.1\r\n"));
    shipped.replace(shipped.find("SiteName=127.0.0.1\r\n"), 20,
                    "SiteName=127.0.0.1:" + std::to_string(TestServerPort("nginx")) + "\r\n");
    PublishPackage(TestServersDirectory() + "\\www\\corvane\\publicdl", Fixture("Corvane.exe"),
                   4096);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string note = std::string(temp) + "corvane-client.txt";
    DeleteFileA(note.c_str());

    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", shipped}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    ASSERT_NE(nullptr, PressContinue(user)) << user.DescribeWindows();
    HWND ready = user.WaitForDialog("Ready to Install", patience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    WindowQuery downloadDialog;
    downloadDialog.caption = "Downloading Software...";
    EXPECT_EQ(nullptr, user.FindTopWindow(downloadDialog));  // hidden for the installation
    ASSERT_TRUE(Person::Press(ready, 1));                    // &Install
    EXPECT_EQ(0, run.WaitForExit(patience));

    std::string shown = ReadWholeFile(note);
    EXPECT_EQ(0u, shown.find("Corvane Halverd Client installed\r\ndirectory: " + work + "\r\n"))
        << shown;
    EXPECT_NE(std::string::npos,
              shown.find("command line: \"" + work + "\\Corvane.exe\" -run2\r\n"))
        << shown;
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_FALSE(FileExists(StateProfilePath()));
    DeleteFileA(note.c_str());
}

TEST_F(InstallerInstall, WithoutSuccessTheFilesStayAndTheNextStartInstallsAtOnce) {
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\e2e-norecord", Fixture("record_app.exe"),
                   8192);
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", Description("e2e-norecord")}});
    ASSERT_NO_FATAL_FAILURE(DownloadAndInstall(setup, "-SaveProxySettings"));
    std::vector<RecordedRun> runs = RecordedRuns(work + "\\Corvane.exe");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("\"" + work + "\\Corvane.exe\" -run2 -SaveProxySettings", runs[0].commandLine);
    EXPECT_EQ(work, runs[0].directory);
    // Ended with 1009: everything stays for the next start.
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
    EXPECT_TRUE(FileExists(shortcut));
    EXPECT_EQ("1", Profile("download", "complete"));
    EXPECT_EQ("0", Profile("result", "success"));
    EXPECT_EQ("FALSE", Profile("ProxySettings", "Valid"));  // no proxy was needed
    EXPECT_EQ("<none>", Profile("ProxySettings", "Proxy"));

    size_t logStart = ReadWholeFile(accessLog).size();
    InstallerProcess again(setup, "");
    ASSERT_TRUE(again.Started());
    Person user(again.Id());
    HWND ready = user.WaitForDialog("Ready to Install", patience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    WindowQuery anyOther;
    anyOther.className = "#32770";
    anyOther.caption = "Downloading Software...";
    EXPECT_EQ(nullptr, user.FindTopWindow(anyOther));
    ASSERT_TRUE(Person::Press(ready, 1));
    EXPECT_EQ(0, again.WaitForExit(patience));
    EXPECT_EQ(2u, RecordedRuns(work + "\\Corvane.exe").size());
    EXPECT_EQ(0, Requests("e2e-norecord", logStart));  // nothing downloaded again
}

TEST_F(InstallerInstall, DecliningAsksWhetherToKeepTheFiles) {
    struct Case {
        const char* name;
        bool escapeOnReady;  // Escape instead of &Cancel on "Ready to Install"
        int cancelAnswer;    // button pressed on "Cancel Installation", 0 for Escape
        bool filesKept;
        const char* complete;  // "download"/"complete" afterwards
    } cases[] = {
        // The run consumed "complete" = 1 when it began.
        {"Cancel, Delete files", false, 1009, false, "0"},
        {"Escape, Delete files", true, 1009, false, "0"},
        {"Cancel, Keep files", false, 1, true, "1"},
        {"Cancel, Escape", false, 0, true, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrepareFinishedDownload(Fixture("record_app.exe"));
        std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", Description("unused")}});
        InstallerProcess run(setup, "");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND ready = user.WaitForDialog("Ready to Install", patience);
        ASSERT_NE(nullptr, ready) << user.DescribeWindows();
        ASSERT_TRUE(c.escapeOnReady ? user.PressEscape(ready) : Person::Press(ready, 1009));
        HWND cancel = user.WaitForDialog("Cancel Installation", patience);
        ASSERT_NE(nullptr, cancel) << user.DescribeWindows();
        ASSERT_TRUE(c.cancelAnswer == 0 ? user.PressEscape(cancel)
                                        : Person::Press(cancel, c.cancelAnswer));
        EXPECT_EQ(6, run.WaitForExit(patience));  // declined: cancelled by the user
        EXPECT_TRUE(RecordedRuns(work + "\\Corvane.exe").empty());  // nothing was started
        EXPECT_EQ(c.filesKept, FileExists(work + "\\Corvane.exe"));
        EXPECT_EQ(c.filesKept, FileExists(shortcut));
        EXPECT_EQ(c.complete, Profile("download", "complete"));
        DeleteFileA(StateProfilePath().c_str());
        DeleteFileA(shortcut.c_str());
    }
}

TEST_F(InstallerInstall, WithoutInterventionTheInstallationStartsAtOnce) {
    PrepareFinishedDownload(Fixture("record_app.exe"));
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", Description("unused", "allowintervention=FALSE\r\n")}});
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    WindowQuery anyDialog;
    anyDialog.className = "#32770";
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, run.Id());
    bool shown = false;
    WaitUntil(
        [&] {
            if (user.FindTopWindow(anyDialog) != nullptr) shown = true;
            return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        },
        patience);
    CloseHandle(process);
    EXPECT_FALSE(shown) << "no prompt and no dialog";
    EXPECT_EQ(0, run.WaitForExit(patience));
    std::vector<RecordedRun> runs = RecordedRuns(work + "\\Corvane.exe");
    ASSERT_EQ(1u, runs.size());
    // "/NoIntervention" reaches the started program as part of the command line.
    EXPECT_EQ("\"" + work + "\\Corvane.exe\" -run2 /NoIntervention", runs[0].commandLine);
    EXPECT_TRUE(FileExists(work + "\\Corvane.exe"));  // no success recorded: 1009
}

TEST_F(InstallationDriver, ALocalComponentWithAMissingFileShowsMessage590AndKeepsTheFiles) {
    std::string description =
        "[defs]\r\ncomponents=Present,Missing\r\n" +
        Section("Present", 1, 1, "record_app.exe", "install1=run,record_app.exe,present\r\n") +
        Section("Missing", 2, 2, "record_app.exe,gone.exe",
                "install1=run,record_app.exe,missing\r\n");
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "missing", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ("Some Corvane files are missing. Installation cannot proceed.",
              Person::MessageText(box));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(5, run.WaitForExit(patience));      // not every file is there
    EXPECT_TRUE(RecordedRuns(Record()).empty());  // nothing was installed
    EXPECT_TRUE(FileExists(work));                // ended with 1009: everything stays
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
}

TEST_F(InstallationDriver, ANestedLocalRunEndsKeepingItsFiles) {
    // Another instance holds the mutex: "-run2" runs alongside it.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "CVGET_INSTANCE_MUTEX");
    std::string description =
        "[defs]\r\ncomponents=One\r\n" +
        Section("One", 1, 1, "record_app.exe", "install1=run,record_app.exe,nested\r\n");
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "-run2");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0, run.WaitForExit(patience));
    CloseHandle(mutex);
    ASSERT_EQ(1u, RecordedRuns(Record()).size());
    EXPECT_EQ("\"" + source + "\\record_app.exe\" nested -run2",
              RecordedRuns(Record())[0].commandLine);
    // A local run counts as installed only when it is not nested: 1009, files kept.
    EXPECT_TRUE(FileExists(work));
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
    EXPECT_EQ("1", Profile("download", "complete"));
}

TEST_F(InstallerInstall, QuitIsDisabledWhileTheInstallationRuns) {
    PrepareFinishedDownload(Fixture("sleep_app.exe"));
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf",
          "[defs]\r\ncomponents=client\r\n[client]\r\nname=Client\r\nsite=127.0.0.1:" +
              std::to_string(TestServerPort("nginx")) +
              "\r\nsourceDir=pkg/unused\r\nfiles=Corvane.exe\r\nProtocol=http\r\n"
              "install1=run,Corvane.exe,3000\r\n"}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND ready = user.WaitForDialog("Ready to Install", patience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    WindowQuery hiddenDialog;
    hiddenDialog.caption = "Downloading Software...";
    hiddenDialog.mustBeShown = false;
    HWND dialog = user.WaitForWindow(hiddenDialog, patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));  // until the user decides
    ASSERT_TRUE(Person::Press(ready, 1));
    ASSERT_TRUE(user.WaitForText(GetDlgItem(dialog, 1002), "Installing 'Client'...", patience));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
    EXPECT_EQ(0, run.WaitForExit(patience));
}

TEST_F(InstallerInstall, TheProxyThatWorkedIsWrittenToTheStateProfileWhenAsked) {
    const int proxyPort = TestServerPort("proxy_open");
    ASSERT_NE(0, proxyPort) << "the test proxies are not running";
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\e2e-viaproxy", Fixture("record_app.exe"),
                   8192);
    std::string description = Description("e2e-viaproxy") +
                              "proxy=127.0.0.1\r\nport=" + std::to_string(proxyPort) + "\r\n";
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    ASSERT_NO_FATAL_FAILURE(DownloadAndInstall(setup, "-SaveProxySettings"));
    EXPECT_EQ("TRUE", Profile("ProxySettings", "Valid"));
    EXPECT_EQ("127.0.0.1", Profile("ProxySettings", "Proxy"));
    EXPECT_EQ(std::to_string(proxyPort), Profile("ProxySettings", "Port"));
}
