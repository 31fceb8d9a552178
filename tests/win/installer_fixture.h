// The base of the tests that run the real installer: each test gets a work directory
// of its own (recorded where the installer looks for it), and the prefix's record,
// state profile and Startup shortcut are put back out of the other tests' way.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/shell_link.h"
#include "package_support.h"
#include "process_support.h"

class InstallerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedRecord = ReadRecordedWorkDirectory();
        work = scratch.Path() + "\\work";
        SetRecordedWorkDirectory(work);
        shortcut = CommonStartupFolder() + "\\Corvane Lite Installer.lnk";
        DeleteFileA(shortcut.c_str());
        DeleteFileA(StateProfilePath().c_str());
    }
    void TearDown() override {
        SetRecordedWorkDirectory(savedRecord);
        DeleteFileA(shortcut.c_str());
        DeleteFileA(StateProfilePath().c_str());
    }
    // The shortcut the run left, target "<none>" when there is none.
    ShellLinkContents Shortcut() {
        ShellLinkContents link;
        if (!ReadShellLink(shortcut, &link)) link.target = "<none>";
        return link;
    }

    ScratchDirectory scratch;
    std::string work;
    std::string shortcut;
    std::string savedRecord;
};
