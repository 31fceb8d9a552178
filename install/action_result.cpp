// Which action and registry results fail a component.
#include "install/action_result.h"

bool ActionSucceeded(ActionResult result) {
    switch (result) {
    case ActionResult::Done:
    // An optional part for a client that is not installed: there is nowhere to put it.
    case ActionResult::NoTarget:
    // The shell has already shown the user its own message.
    case ActionResult::ShellFoundNoProgram:
        return true;
    case ActionResult::EntryUnusable:
    case ActionResult::ProgramNotStarted:
    case ActionResult::ProgramReportedFailure:
    case ActionResult::NotUnpacked:
    case ActionResult::NotCopied:
        return false;
    }
    return false;
}

bool RegistrySectionSucceeded(RegistrySectionResult result) {
    switch (result) {
    case RegistrySectionResult::Applied:
    // Nothing was asked for, so nothing is missing.
    case RegistrySectionResult::NoSection:
        return true;
    case RegistrySectionResult::UnknownRoot:
    case RegistrySectionResult::SectionTooLarge:
    case RegistrySectionResult::KeyNotWritable:
    case RegistrySectionResult::ValueNotWritten:
        return false;
    }
    return false;
}

const char* ActionResultName(ActionResult result) {
    switch (result) {
    case ActionResult::Done:
        return "done";
    case ActionResult::NoTarget:
        return "its target folder is not there";
    case ActionResult::EntryUnusable:
        return "the entry cannot be used";
    case ActionResult::ProgramNotStarted:
        return "the program could not be started";
    case ActionResult::ProgramReportedFailure:
        return "the program reported failure";
    case ActionResult::ShellFoundNoProgram:
        return "the shell found no program for it";
    case ActionResult::NotUnpacked:
        return "not unpacked";
    case ActionResult::NotCopied:
        return "not copied";
    }
    return "?";
}

const char* RegistrySectionResultName(RegistrySectionResult result) {
    switch (result) {
    case RegistrySectionResult::Applied:
        return "written";
    case RegistrySectionResult::NoSection:
        return "no such section";
    case RegistrySectionResult::UnknownRoot:
        return "a line names an unknown root";
    case RegistrySectionResult::SectionTooLarge:
        return "the section is too large";
    case RegistrySectionResult::KeyNotWritable:
        return "a key could not be written";
    case RegistrySectionResult::ValueNotWritten:
        return "a value could not be written";
    }
    return "?";
}
