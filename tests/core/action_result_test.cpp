// Which results of a component's actions and registry sections stop its installation.
#include "install/action_result.h"

#include <gtest/gtest.h>

TEST(ActionResult, WhatWasAskedForAndNotDoneFailsTheComponent) {
    struct Case {
        ActionResult result;
        bool succeeded;
    };
    const Case cases[] = {
        {ActionResult::Done, true},
        {ActionResult::NoTarget, true},
        {ActionResult::ShellFoundNoProgram, true},
        {ActionResult::EntryUnusable, false},
        {ActionResult::ProgramNotStarted, false},
        {ActionResult::ProgramReportedFailure, false},
        {ActionResult::NotUnpacked, false},
        {ActionResult::NotCopied, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.succeeded, ActionSucceeded(c.result)) << static_cast<int>(c.result);
}

TEST(ActionResult, ARegistrySectionFailsWhenAValueItNamesIsNotWritten) {
    struct Case {
        RegistrySectionResult result;
        bool succeeded;
    };
    const Case cases[] = {
        {RegistrySectionResult::Applied, true},
        {RegistrySectionResult::NoSection, true},
        {RegistrySectionResult::UnknownRoot, false},
        {RegistrySectionResult::SectionTooLarge, false},
        {RegistrySectionResult::KeyNotWritable, false},
        {RegistrySectionResult::ValueNotWritten, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.succeeded, RegistrySectionSucceeded(c.result)) << static_cast<int>(c.result);
}
