// The real installer started with a damaged payload: a record cut short by the end of
// the file, a trailer pointing past itself, names that climb out of the work directory,
// and a marker that is missing. The user sees message 596 where records are damaged and
// the no-description message where no description can be found (exit code 3, and no
// window at all when unattended); nothing is written outside the work directory.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"

#include <gtest/gtest.h>

#include <algorithm>

bool EverShownUntilExit(const Person& user, DWORD processId, const WindowQuery& query);

namespace {

enum Damage { Intact, CutLastRecord, TrailerPastEnd, NoMarker };

// Changes the finished installer's bytes: the last record's content size grows past the
// trailer, the trailer's first-record offset points beyond the file, or the marker's
// last byte changes.
void Apply(Damage damage, const std::string& setup, size_t lastRecordSize) {
    std::string bytes = ReadWholeFile(setup);
    size_t trailer = bytes.size() - 16;
    if (damage == CutLastRecord) {
        bytes[trailer - lastRecordSize + 2] = 0x10;  // content size + 1 MiB
    } else if (damage == TrailerPastEnd) {
        bytes[trailer + 3] = 0x10;  // payloadStart + 256 MiB
    } else if (damage == NoMarker) {
        bytes[bytes.size() - 1] = 'b';
    }
    WriteWholeFile(setup, bytes);
}

class FaultPayload : public FaultFixture {};

}  // namespace

// ctest-labels FaultPayload: servers
TEST_F(FaultPayload, DamagedRecordsShowMessage596AndWriteNothingOutside) {
    const std::string description =
        FaultDescription(ServerSite("nginx"), "pkg/payload-never-fetched", "http", true);
    const char* const extracting =
        "Error while extracting temporary files. You may be out of disk space.";
    const char* const noDescription =
        "This installer holds no description of components. It may be damaged; download it "
        "again from its publisher.";
    struct Case {
        const char* what;
        const char* lastName;
        Damage damage;
        const char* message;
        int exitCode;
    };
    const Case cases[] = {
        {"record cut short", "data.bin", CutLastRecord, extracting, 0},
        {"trailer past itself", "data.bin", TrailerPastEnd, extracting, 0},
        {"parent directory", "..\\evil.inf", Intact, extracting, 0},
        {"parent through a subdirectory", "sub\\..\\..\\evil.inf", Intact, extracting, 0},
        {"no marker", "data.bin", NoMarker, noDescription, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetRecordedWorkDirectory(work);
        const std::string content = "[defs]\r\ncomponents=\r\n";
        std::string setup =
            MakeInstaller(scratch.Path(), {{"tarrock.inf", description}, {c.lastName, content}});
        Apply(c.damage, setup, 8 + strlen(c.lastName) + 1 + content.size());
        InstallerProcess run(setup, "");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND box = user.WaitForMessageBox("Corvane", "", faultPatience);
        ASSERT_NE(nullptr, box) << user.DescribeWindows();
        EXPECT_EQ(c.message, Person::MessageText(box));
        ASSERT_TRUE(Person::Answer(box, IDOK));
        ASSERT_TRUE(user.WaitUntilGone(box, faultPatience));
        // The run asks nothing more and downloads nothing.
        WindowQuery anyDialog;
        anyDialog.className = Person::dialogClass;
        EXPECT_FALSE(EverShownUntilExit(user, run.Id(), anyDialog)) << user.DescribeWindows();
        EXPECT_EQ(c.exitCode, run.WaitForExit(faultPatience));
        // The work directory is kept for the next start, with its record.
        EXPECT_EQ(std::vector<std::string>({"setup.exe", "work"}),
                  DirectoryEntries(scratch.Path()));
        EXPECT_EQ(work, ReadRecordedWorkDirectory());
        std::vector<std::string> work596 = DirectoryEntries(work);
        EXPECT_EQ(work596.end(), std::find(work596.begin(), work596.end(), "evil.inf"));
        DeleteFileA(shortcut.c_str());
    }
}

// The Startup shortcut's unattended start of an installer without payload: nobody is
// there to read a message, so none is shown; the exit code tells.
TEST_F(FaultPayload, NoPayloadUnattendedShowsNoWindowAndEndsWithCode3) {
    std::string setup = scratch.Path() + "\\setup.exe";
    ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\cvget.exe").c_str(), setup.c_str(), FALSE));
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    WindowQuery anyWindow;
    EXPECT_FALSE(EverShownUntilExit(user, run.Id(), anyWindow)) << user.DescribeWindows();
    EXPECT_EQ(3, run.WaitForExit(faultPatience));
}

TEST_F(FaultPayload, AFileThatCannotBeWrittenShowsMessage596AndKeepsTheDirectory) {
    // A directory stands where the payload's second file is to be written.
    CreateDirectoryA((work + "\\data.bin").c_str(), nullptr);
    WriteWholeFile(work + "\\data.bin\\inside.txt", "in the way");
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", "[defs]\r\ncomponents=data\r\n[data]\r\nname=Data\r\nfiles=data.bin\r\n"},
         {"data.bin", "payload bytes"}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box = user.WaitForMessageBox("Corvane", "extracting", faultPatience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(0, run.WaitForExit(faultPatience));
    // Ended keeping its files (1009): the directory, its record and what was written.
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
    EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
    EXPECT_EQ("in the way", ReadWholeFile(work + "\\data.bin\\inside.txt"));
}
