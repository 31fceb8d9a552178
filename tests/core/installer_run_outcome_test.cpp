// How a run ends: the dialog's end codes, the state profile's record after the
// installation, and what happens to the files and the restart shortcut.
#include "config/installer_run_outcome.h"

#include "shell/resource_ids.h"

#include <gtest/gtest.h>

TEST(RunOutcome, DialogEndCodesRoundTripAndAnyOtherCodeKeepsTheFiles) {
    EXPECT_EQ(1003, DialogEndCode(RunEnd::Finished));
    EXPECT_EQ(1004, DialogEndCode(RunEnd::Suspended));
    EXPECT_EQ(1009, DialogEndCode(RunEnd::FilesKept));
    for (RunEnd end : {RunEnd::Finished, RunEnd::Suspended, RunEnd::FilesKept})
        EXPECT_EQ(end, RunEndFromDialogCode(DialogEndCode(end)));
    for (intptr_t other : {-1, 0, 1, 2, 1002, 1005, 4242})
        EXPECT_EQ(RunEnd::FilesKept, RunEndFromDialogCode(other)) << other;
}

TEST(RunOutcome, NotReadyAndDeclinedRuns) {
    EXPECT_EQ(static_cast<unsigned>(IDS_DOWNLOAD_INCOMPLETE), NotReadyTextId(true));
    EXPECT_EQ(static_cast<unsigned>(IDS_FILES_MISSING), NotReadyTextId(false));
    EXPECT_EQ(RunEnd::FilesKept, NotReadyEnd().end);
    EXPECT_EQ(StateRecord::Nothing, NotReadyEnd().record);
    // Deleting ends the run as finished; keeping tells the next start to install.
    EXPECT_EQ(RunEnd::Finished, DeclinedEnd(true).end);
    EXPECT_EQ(StateRecord::Nothing, DeclinedEnd(true).record);
    EXPECT_EQ(RunEnd::FilesKept, DeclinedEnd(false).end);
    EXPECT_EQ(StateRecord::DownloadComplete, DeclinedEnd(false).record);
}

TEST(RunOutcome, InstalledEndFollowsTheProgramsReportAndTheKindOfRun) {
    struct Case {
        const char* name;
        InstalledFacts facts;  // profileKnown, reportedSuccess, localOnly, nested, network,
                               // actionFailed
        RunEnd end;
        StateRecord record;
    };
    const Case cases[] = {
        {"network, success",
         {true, true, false, false, true, false},
         RunEnd::Finished,
         StateRecord::DeleteProfile},
        {"network, no success",
         {true, false, false, false, true, false},
         RunEnd::FilesKept,
         StateRecord::Nothing},
        {"local, no success",
         {true, false, true, false, false, false},
         RunEnd::Finished,
         StateRecord::DownloadIncomplete},
        {"local, an action failed",
         {true, false, true, false, false, true},
         RunEnd::FilesKept,
         StateRecord::Nothing},
        {"local, an action failed after a program reported success",
         {true, true, true, false, false, true},
         RunEnd::Finished,
         StateRecord::DownloadIncomplete},
        {"local nested, no success",
         {true, false, true, true, false, false},
         RunEnd::FilesKept,
         StateRecord::Nothing},
        {"local nested, success",
         {true, true, true, true, false, false},
         RunEnd::Finished,
         StateRecord::DownloadIncomplete},
        {"mixed run counts as network",
         {true, false, false, false, false, false},
         RunEnd::FilesKept,
         StateRecord::Nothing},
        // Without the profile no program's report can be read, and none is written.
        {"no profile, network",
         {false, true, false, false, true, false},
         RunEnd::FilesKept,
         StateRecord::Nothing},
        {"no profile, local",
         {false, false, true, false, false, false},
         RunEnd::Finished,
         StateRecord::Nothing},
    };
    for (const Case& c : cases) {
        InstallationEnd end = InstalledEnd(c.facts);
        EXPECT_EQ(c.end, end.end) << c.name;
        EXPECT_EQ(c.record, end.record) << c.name;
    }
}

TEST(RunOutcome, AftermathOfEachEnd) {
    struct Case {
        const char* name;
        RunEnd end;
        bool descriptionNamed, shuttingDown;
        RunAftermath expected;  // delete, remove, restart, announce, endsShutdown, suspended
    };
    const Case cases[] = {
        {"finished", RunEnd::Finished, false, false, {true, true, false, false, false, false}},
        {"finished, named description",
         RunEnd::Finished,
         true,
         false,
         {false, true, false, false, false, false}},
        {"suspended", RunEnd::Suspended, false, false, {false, false, true, true, false, true}},
        {"suspended by the session's end",
         RunEnd::Suspended,
         false,
         true,
         {false, false, true, false, true, true}},
        {"files kept", RunEnd::FilesKept, false, true, {false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        RunAftermath a = DecideAftermath(c.end, c.descriptionNamed, c.shuttingDown);
        const RunAftermath& e = c.expected;
        EXPECT_EQ(e.deleteWorkDirectory, a.deleteWorkDirectory) << c.name;
        EXPECT_EQ(e.removeShortcut, a.removeShortcut) << c.name;
        EXPECT_EQ(e.writeRestartShortcut, a.writeRestartShortcut) << c.name;
        EXPECT_EQ(e.announceSuspended, a.announceSuspended) << c.name;
        EXPECT_EQ(e.endsShutdown, a.endsShutdown) << c.name;
        EXPECT_EQ(e.suspended, a.suspended) << c.name;
    }
}

TEST(RunOutcome, ExitCodeTellsTheWorstOfTheRun) {
    struct Case {
        const char* name;
        RunExitFacts facts;  // end, noDescription, installFailed, downloadFailed, cancelled
        int code;
    };
    const Case cases[] = {
        {"installed", {RunEnd::Finished, false, false, false, false}, 0},
        {"installed, files kept for a nested run",
         {RunEnd::FilesKept, false, false, false, false},
         0},
        {"no description", {RunEnd::FilesKept, true, false, false, false}, 3},
        {"a step failed", {RunEnd::FilesKept, false, true, false, false}, 4},
        {"download failed", {RunEnd::FilesKept, false, false, true, false}, 5},
        {"download failed, then quit", {RunEnd::Finished, false, false, true, true}, 5},
        {"quit", {RunEnd::Finished, false, false, false, true}, 6},
        {"declined, files kept", {RunEnd::FilesKept, false, false, false, true}, 6},
        {"suspended", {RunEnd::Suspended, false, false, false, false}, 7},
    };
    for (const Case& c : cases) EXPECT_EQ(c.code, RunExitCode(c.facts)) << c.name;
    EXPECT_STREQ("cancelled by the user", ExitCodeMeaning(6));
    EXPECT_STREQ("unknown", ExitCodeMeaning(2));
}
