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
