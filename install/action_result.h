// How the installation reads the results of a component's actions and registry
// sections: which of them fail the component. No platform calls.
#pragma once

// How one install action ("extract%d", "install%d") ended.
enum class ActionResult {
    Done,
    NoTarget,                // "package" or "copy" whose client directory is not there
    EntryUnusable,           // verb or file missing; a path or command line does not fit
    ProgramNotStarted,       // "run", or a package's set-up program, could not be started
    ProgramReportedFailure,  // the started program wrote a "Failed" value
    ShellFoundNoProgram,     // the shell could not start the file and has said so itself
    NotUnpacked,             // the package, or a file it holds, could not be unpacked
    NotCopied,               // the copy could not be written
};

// False when the action fails the component: the installation stops there.
bool ActionSucceeded(ActionResult result);
// The result as the run's log names it.
const char* ActionResultName(ActionResult result);

// How one "registry%d" section ended.
enum class RegistrySectionResult {
    Applied,          // every line written or skipped
    NoSection,        // the reference names no section, or it is empty or missing
    UnknownRoot,      // a line's root is none of HKCR, HKCU, HKLM, HKU: the rest is not written
    SectionTooLarge,  // its last line was cut by the buffer and left out
    KeyNotWritable,   // a key could not be created or opened
    ValueNotWritten,  // a value could not be written (a key the user may only read)
};
const char* RegistrySectionResultName(RegistrySectionResult result);

// False when the section fails the component: a value it asked for was not written.
bool RegistrySectionSucceeded(RegistrySectionResult result);
