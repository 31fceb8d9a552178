// The run's component table and its choices: the display order, the next component to
// download and its file list, and the install order.
#include "config/installer_run.h"

#include "common/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

char testWorkDirectory[] = "C:\\work";

Component Make(const char* section, int32_t displayOrder, int32_t installOrder = 100,
               ComponentStatus status = NeedsDownload) {
    Component component = {};
    CopyText(component.sectionName, section);
    CopyText(component.name, section);
    component.displayOrder = displayOrder;
    component.installOrder = installOrder;
    component.status = status;
    return component;
}

struct TestRun : InstallerRun {
    TestRun() : InstallerRun(testWorkDirectory, nullptr, true, false, false) {}
    std::string Sections() {
        std::string out;
        for (int i = 0; i < ComponentCount(); ++i) {
            if (!out.empty()) out += ",";
            out += ComponentAt(i)->sectionName;
        }
        return out;
    }
};

struct StatusLog : ComponentStatusListener {
    void OnComponentStatus(int index) override { indexes.push_back(index); }
    std::vector<int> indexes;
};

}  // namespace

TEST(RunComponents, AddedComponentsShareTheRunsPlacesUpToTheLimit) {
    TestRun run;
    Component outsider = Make("a", 1);
    outsider.workDirectory = nullptr;
    ASSERT_TRUE(run.AddComponent(outsider));
    EXPECT_EQ(testWorkDirectory, run.ComponentAt(0)->workDirectory);
    EXPECT_EQ(&run.verifiedFiles, run.ComponentAt(0)->verifiedFiles);
    EXPECT_EQ(nullptr, run.ComponentAt(-1));
    EXPECT_EQ(nullptr, run.ComponentAt(1));
    for (size_t i = 1; i < kMaxComponents; ++i) ASSERT_TRUE(run.AddComponent(Make("b", 2)));
    EXPECT_FALSE(run.AddComponent(Make("over", 3)));
    EXPECT_EQ(static_cast<int>(kMaxComponents), run.ComponentCount());
}

TEST(RunComponents, SortByDisplayOrderKeepsTiesInTheOrderAdded) {
    struct Case {
        std::vector<std::pair<const char*, int32_t>> added;
        const char* sorted;
    };
    const Case cases[] = {
        {{}, ""},
        {{{"b", 20}, {"a", 10}, {"c", INT32_MIN}}, "c,a,b"},
        {{{"x", 5}, {"y", 5}, {"z", 1}, {"w", 5}}, "z,x,y,w"},
        {{{"max", INT32_MAX}, {"min", INT32_MIN}, {"zero", 0}}, "min,zero,max"},
    };
    for (const Case& c : cases) {
        TestRun run;
        for (const auto& added : c.added) run.AddComponent(Make(added.first, added.second));
        run.SortByDisplayOrder();
        EXPECT_EQ(c.sorted, run.Sections());
    }
}

TEST(RunComponents, StatusChangesReachTheListenerOnlyInRange) {
    TestRun run;
    StatusLog log;
    run.SetStatusListener(&log);
    run.AddComponent(Make("a", 1));
    run.AddComponent(Make("b", 2));
    run.SetStatus(1, Downloading);
    run.SetStatus(2, Downloading);
    run.SetCurrentStatus(Downloaded);  // no current component yet
    run.currentIndex = 0;
    run.SetCurrentStatus(DownloadError);
    EXPECT_EQ((std::vector<int>{1, 0}), log.indexes);
    EXPECT_EQ(DownloadError, run.ComponentAt(0)->status);
    EXPECT_EQ(Downloading, run.ComponentAt(1)->status);
}

TEST(NextDownload, OnlyComponentsAfterTheCurrentOneThatNeedADownload) {
    struct Case {
        std::vector<ComponentStatus> statuses;
        int current;
        int next;
    };
    const Case cases[] = {
        {{}, -1, -1},
        {{NeedsDownload}, -1, 0},
        {{AlreadyInstalled, Downloaded, NeedsDownload}, -1, 2},
        {{NeedsDownload, DownloadError, NeedsDownload}, 0, 2},
        {{NeedsDownload, NeedsDownload}, 1, -1},
        {{Downloading, Extracting, Installing, InstallDone}, -1, -1},
        {{NeedsDownload}, 1, -1},  // past the end once the list is done
    };
    for (const Case& c : cases) {
        TestRun run;
        for (ComponentStatus status : c.statuses) run.AddComponent(Make("s", 1, 100, status));
        run.currentIndex = c.current;
        EXPECT_EQ(c.next, run.NextComponentToDownload()) << c.current;
    }
}

TEST(NextDownload, FileListIsWalkedNameByName) {
    struct Case {
        std::string files;
        std::vector<std::string> names;
        bool endsWithNameTooLong;
    };
    const Case cases[] = {
        {"", {}, false},
        {" , ,", {}, false},
        {"a.bin", {"a.bin"}, false},
        {"a.bin, sub\\b.bin,c.bin  d.bin", {"a.bin", "sub\\b.bin", "c.bin", "d.bin"}, false},
        {std::string(259, 'n'), {std::string(259, 'n')}, false},
        {"a.bin " + std::string(260, 'x'), {"a.bin"}, true},
    };
    for (const Case& c : cases) {
        TestRun run;
        run.AddComponent(Make("s", 1));
        run.BeginComponent(0, c.files.c_str());
        EXPECT_EQ(0, run.currentIndex);
        std::vector<std::string> names;
        NextFileResult result;
        while ((result = run.NextFile()) == NextFileResult::Named) {
            EXPECT_EQ(static_cast<int>(names.size()), run.fileIndex);
            names.push_back(run.currentFile);
        }
        EXPECT_EQ(c.names, names) << c.files;
        EXPECT_EQ(c.endsWithNameTooLong ? NextFileResult::NameTooLong : NextFileResult::ListDone,
                  result)
            << c.files;
    }
}

TEST(NextDownload, ANewComponentStartsItsListAfresh) {
    TestRun run;
    run.AddComponent(Make("a", 1));
    run.AddComponent(Make("b", 2));
    run.BeginComponent(0, "one two");
    ASSERT_EQ(NextFileResult::Named, run.NextFile());
    run.BeginComponent(1, "three");
    ASSERT_EQ(NextFileResult::Named, run.NextFile());
    EXPECT_STREQ("three", run.currentFile);
    EXPECT_EQ(0, run.fileIndex);
    EXPECT_EQ(NextFileResult::ListDone, run.NextFile());
}

TEST(InstallOrder, SmallestOrderBelowTheLimitAmongDownloadedTiesInDisplayOrder) {
    struct Entry {
        int32_t installOrder;
        ComponentStatus status;
    };
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        int chosen;
    };
    const Case cases[] = {
        {"none", {}, -1},
        {"one", {{100, Downloaded}}, 0},
        {"smallest", {{100, Downloaded}, {5, Downloaded}, {50, Downloaded}}, 1},
        {"tie", {{7, Downloaded}, {7, Downloaded}}, 0},
        {"negative", {{0, Downloaded}, {-3, Downloaded}}, 1},
        {"only downloaded",
         {{1, AlreadyInstalled}, {2, InstallDone}, {3, DownloadError}, {9, Downloaded}},
         3},
        {"limit", {{kNeverInstalledOrder, Downloaded}, {kNeverInstalledOrder + 1, Downloaded}}, -1},
        {"below limit",
         {{kNeverInstalledOrder, Downloaded}, {kNeverInstalledOrder - 1, Downloaded}},
         1},
    };
    for (const Case& c : cases) {
        TestRun run;
        for (const Entry& e : c.entries) run.AddComponent(Make("s", 1, e.installOrder, e.status));
        EXPECT_EQ(c.chosen, run.NextComponentToInstall()) << c.name;
    }
}

TEST(InstallOrder, InstalledComponentsAreNotChosenAgain) {
    TestRun run;
    run.AddComponent(Make("late", 1, 30, Downloaded));
    run.AddComponent(Make("early", 2, 10, Downloaded));
    run.AddComponent(Make("middle", 3, 20, Downloaded));
    std::string order;
    for (int index; (index = run.NextComponentToInstall()) >= 0;) {
        order += run.ComponentAt(index)->sectionName;
        order += " ";
        run.SetStatus(index, InstallDone);
    }
    EXPECT_EQ("early middle late ", order);
}
