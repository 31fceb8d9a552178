// The decisions of a run's end (see installer_run_outcome.h).
#include "config/installer_run_outcome.h"

#include "shell/resource_ids.h"

static_assert(kEndCodeFinished == IDC_QUIT && kEndCodeSuspended == IDC_SUSPEND &&
                  kEndCodeFilesKept == IDC_SECOND_CHOICE,
              "the buttons end their dialogs with the run's end codes");

intptr_t DialogEndCode(RunEnd end) {
    switch (end) {
    case RunEnd::Finished:
        return kEndCodeFinished;
    case RunEnd::Suspended:
        return kEndCodeSuspended;
    case RunEnd::FilesKept:
        break;
    }
    return kEndCodeFilesKept;
}

RunEnd RunEndFromDialogCode(intptr_t code) {
    if (code == kEndCodeFinished) return RunEnd::Finished;
    if (code == kEndCodeSuspended) return RunEnd::Suspended;
    return RunEnd::FilesKept;
}

unsigned NotReadyTextId(bool networkRun) {
    return networkRun ? IDS_DOWNLOAD_INCOMPLETE : IDS_FILES_MISSING;
}

InstallationEnd NotReadyEnd() { return {RunEnd::FilesKept, StateRecord::Nothing}; }

InstallationEnd DeclinedEnd(bool deleteFiles) {
    if (deleteFiles) return {RunEnd::Finished, StateRecord::Nothing};
    return {RunEnd::FilesKept, StateRecord::DownloadComplete};
}

InstallationEnd InstalledEnd(const InstalledFacts& facts) {
    bool succeeded = facts.profileKnown && facts.programReportedSuccess;
    if (!succeeded && !(facts.localOnly && !facts.nestedRun && !facts.actionFailed))
        return {RunEnd::FilesKept, StateRecord::Nothing};
    if (!facts.profileKnown) return {RunEnd::Finished, StateRecord::Nothing};
    // Installed, nothing is left for the next start to install: a "complete" left at 1
    // would make the next network run skip its welcome and its dialog.
    return {RunEnd::Finished,
            facts.networkRun ? StateRecord::DeleteProfile : StateRecord::DownloadIncomplete};
}

RunAftermath DecideAftermath(RunEnd end, bool descriptionNamed, bool shuttingDown) {
    RunAftermath aftermath = {};
    if (end == RunEnd::Finished) {
        aftermath.deleteWorkDirectory = !descriptionNamed;
        aftermath.removeShortcut = true;
    } else if (end == RunEnd::Suspended) {
        aftermath.writeRestartShortcut = true;
        aftermath.announceSuspended = !shuttingDown;
        aftermath.endsShutdown = shuttingDown;
        aftermath.suspended = true;
    }
    return aftermath;
}

int RunExitCode(const RunExitFacts& facts) {
    if (facts.noDescription) return kExitNoDescription;
    if (facts.installFailed) return kExitInstallFailed;
    if (facts.downloadFailed) return kExitDownloadFailed;
    if (facts.cancelled) return kExitCancelled;
    if (facts.end == RunEnd::Suspended) return kExitSuspended;
    return kExitInstalled;
}

const char* ExitCodeMeaning(int code) {
    switch (code) {
    case kExitInstalled:
        return "installed";
    case kExitHandedOver:
        return "handed over to the running instance";
    case kExitNoDescription:
        return "no description of components";
    case kExitInstallFailed:
        return "installation failed";
    case kExitDownloadFailed:
        return "download failed";
    case kExitCancelled:
        return "cancelled by the user";
    case kExitSuspended:
        return "suspended";
    default:
        return "unknown";
    }
}
