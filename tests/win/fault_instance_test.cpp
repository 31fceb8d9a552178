// Two installers started at the same moment, and a nested "-run2" run beside a running
// download: one run owns the work directory, no file gets two writers, and the nested
// run never deletes what the other one downloads.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class FaultInstance : public FaultFixture {
protected:
    int Requests(const std::string& directory, const std::string& file, size_t from) {
        return CountInFile(nginxLog, "/" + directory + "/" + file + " ", from);
    }
};

}  // namespace

// ctest-labels FaultInstance: servers
TEST_F(FaultInstance, TwoStartsAtOnceLeaveOneRunAndEveryPartFetchedOnce) {
    const std::string name = "race-start";
    std::string content = Publish(name, 8 * faultPartSize - 9, 51);
    // From the slow location, so that the first run still downloads when the second starts.
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", FaultDescription(ServerSite("nginx"), "slow/" + name)}});
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ForgetDownload();
        size_t logStart = FileLength(nginxLog);
        std::unique_ptr<InstallerProcess> runs[2];
        for (auto& run : runs) run.reset(new InstallerProcess(setup, "/NoIntervention"));
        ASSERT_TRUE(runs[0]->Started() && runs[1]->Started());
        // The loser finds no tray window to hand over to and says so (594).
        int loser = -1;
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (int i = 0; i < 2 && loser < 0; ++i) {
                    WindowQuery query;
                    query.caption = "Corvane Lite Installer";
                    query.controlId = Person::messageTextId;
                    query.controlText = "multiple instances";
                    box = Person(runs[i]->Id()).FindTopWindow(query);
                    if (box != nullptr) loser = i;
                }
                return loser >= 0;
            },
            faultPatience));
        ASSERT_TRUE(Person::Answer(box, IDOK));
        EXPECT_EQ(1, runs[loser]->WaitForExit(faultPatience));
        EXPECT_EQ(0, runs[1 - loser]->WaitForExit(faultPatience));
        EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
        for (size_t n = 0; n < PartCount(content); ++n)
            EXPECT_EQ(1, Requests("slow/" + name, PartName(n), logStart)) << PartName(n);
    }
}

TEST_F(FaultInstance, ANestedRunBesideADownloadNeitherDeletesNorWritesItsFiles) {
    const std::string name = "race-nested";
    std::string content = Publish(name, 8 * faultPartSize - 10, 52);
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", FaultDescription(ServerSite("nginx"), "slow/" + name)}});
    size_t logStart = FileLength(nginxLog);
    InstallerProcess first(setup, "/NoIntervention");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(WaitUntil([&] { return CompleteCount(content) >= 2; }, faultPatience));

    // The nested run finds the package's joined file held by the first run: its own
    // download fails and it ends keeping everything, asking nobody.
    InstallerProcess nested(setup, "-run2 /NoIntervention");
    ASSERT_TRUE(nested.Started());
    EXPECT_EQ(5, nested.WaitForExit(faultPatience));  // its download failed
    EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
    EXPECT_EQ(work, ReadRecordedWorkDirectory());

    EXPECT_EQ(0, first.WaitForExit(faultPatience));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == content) << "Corvane.exe differs";
    for (size_t n = 0; n < PartCount(content); ++n)
        EXPECT_EQ(1, Requests("slow/" + name, PartName(n), logStart)) << PartName(n);
}
