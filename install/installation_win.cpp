// The installation driver: checks that every component is present, asks the user,
// installs the downloaded components in install order and ends the run with its
// outcome, recording its progress in the state profile.
#include "install/installation_win.h"

#include "common/run_log_win.h"
#include "common/limits.h"
#include "common/resource_string_win.h"
#include "common/status_line.h"
#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "install/action_result.h"
#include "install/install_actions_win.h"
#include "install/registry_section_win.h"
#include "install/state_profile_win.h"
#include "shell/process_state_win.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"

namespace {

// The display name as the status line and the messages show it.
constexpr size_t kShownNameSize = 70;

// Refreshes the components' states in display order; ready when each is installed or
// downloaded. The check stops at the first component that is neither.
bool EveryComponentPresent(InstallerRun& run) {
    for (int index = 0; index < run.ComponentCount(); ++index) {
        Component& component = *run.ComponentAt(index);
        ClassifyComponent(component);
        run.SetStatus(index, static_cast<ComponentStatus>(component.status));
        if (component.status != AlreadyInstalled && component.status != Downloaded) return false;
    }
    return true;
}

bool IsLocalOnly(InstallerRun& run) {
    for (int index = 0; index < run.ComponentCount(); ++index) {
        if (IsNetworkProtocol(GetProtocol(*run.ComponentAt(index)))) return false;
    }
    return true;
}

void LoadText(UINT id, char* out, int size) {
    LoadResourceString(GetFrameworkInstance(), id, out, static_cast<size_t>(size));
}

// The state profile is written only when its path could be built.
void WriteState(const char* profile, const char* section, const char* key, const char* value) {
    if (profile[0] != '\0') WritePrivateProfileStringA(section, key, value, profile);
}

void Finish(InstallView& view, const char* profile, InstallationEnd end) {
    view.EndRun(end.end);
    switch (end.record) {
    case StateRecord::Nothing:
        break;
    case StateRecord::DownloadComplete:
        WriteState(profile, "download", "complete", "1");
        break;
    case StateRecord::DownloadIncomplete:
        WriteState(profile, "download", "complete", "0");
        break;
    case StateRecord::DeleteProfile:
        if (profile[0] != '\0') DeleteFileA(profile);
        break;
    }
}

void ReportNotReady(InstallerRun& run, InstallView& view, const char* caption) {
    char text[512];
    LoadText(NotReadyTextId(run.networkRun), text, countof(text));
    run.downloadFailed = true;
    LogEvent("not every component is there: nothing is installed");
    // An unattended run has nobody to read it: the exit code says it.
    if (run.allowIntervention) view.ShowError(text, caption);
    view.EndRun(NotReadyEnd().end);
}

// A network run hides its dialog for good and, when allowed, asks prompt 104.
bool AskToInstall(const InstallerRun& run, InstallView& view) {
    if (!run.networkRun) return true;
    view.HideForInstallation();
    bool install = true;
    if (run.allowIntervention) install = view.AskReadyToInstall();
    view.LockQuit();
    return install;
}

void RecordInstallStart(const InstallerRun& run, const char* profile) {
    WriteState(profile, "result", "success", "0");
    WriteState(profile, "download", "complete", "1");
    if (!run.networkRun || !run.saveProxySettings) return;
    if (run.connection.proxyHost[0] == '\0') {
        WriteState(profile, "ProxySettings", "Valid", "FALSE");
        return;
    }
    WriteState(profile, "ProxySettings", "Valid", "TRUE");
    WriteState(profile, "ProxySettings", "Proxy", run.connection.proxyHost);
    WriteState(profile, "ProxySettings", "Port", run.connection.proxyPort);
}

void ShowActionStatus(InstallView& view, UINT textId, const char* name) {
    char format[100];
    LoadText(textId, format, countof(format));
    // A 99-character format and a 69-character name stay well within wsprintfA's 1024.
    char line[1024];
    wsprintfA(line, format, name);
    char text[100];
    CopyText(text, line);
    view.ShowStatusLine(text);
}

// Reads the entry key<pass> of the component; false when it is empty or missing.
bool ReadEntry(const Component& component, const char* key, int pass,
               char (&entry)[kInstallEntrySize]) {
    char name[32];
    wsprintfA(name, "%s%d", key, pass);
    ReadComponentValue(component, name, "", entry, countof(entry));
    return entry[0] != '\0';
}

// A component that is not installed, and nothing after it is, for the reason textId
// gives: its files are no longer what the publisher signed or pinned, or they were
// fetched unchecked under the publisher's key (a file left from an earlier run, or a
// description changed since).
void ReportRefusal(const InstallerRun& run, InstallView& view, const char* name, UINT textId) {
    char format[256], text[512], caption[50];
    LoadText(textId, format, countof(format));
    ReplaceEveryPercentOne(format, name, text, countof(text));
    LoadText(IDS_APP_TITLE, caption, countof(caption));
    view.ShowStatusLine(text);
    LogEvent("%s", text);
    if (run.allowIntervention) view.ShowError(text, caption);
}

// An entry as the failure message names it: "install1 (copy,viewer.dll,2)". The entry
// is copied before the action splits it in place.
struct StepName {
    char text[kInstallEntrySize + 32];
};

StepName NameStep(const char* key, int pass, const char* entry) {
    StepName step;
    // key is a short literal and entry at most 511 characters: within wsprintfA's 1024.
    wsprintfA(step.text, "%s%d (%s)", key, pass, entry);
    return step;
}

// The step that stopped the installation, named to the user: the dialog of a network
// run is hidden by now and a local run's was never shown.
void ReportFailedStep(const InstallerRun& run, InstallView& view, const char* name,
                      const StepName& step) {
    char format[256], line[1024], text[512], caption[50];
    LoadText(IDS_STEP_FAILED, format, countof(format));
    // 255 + 69 + 543 characters stay within wsprintfA's 1024.
    wsprintfA(line, format, name, step.text);
    CopyText(text, line);  // cut to what a message shows
    LoadText(IDS_APP_TITLE, caption, countof(caption));
    view.ShowStatusLine(text);
    LogEvent("%s", line);
    if (run.allowIntervention) view.ShowError(text, caption);
}

// The two kinds of action entries: how each is shown while it runs.
struct ActionKind {
    const char* key;
    UINT statusTextId;
    ComponentStatus status;
};
const ActionKind kExtractAction = {"extract", IDS_EXTRACTING, Extracting};
const ActionKind kInstallAction = {"install", IDS_INSTALLING, Installing};

// Carries out the entry of pass as an install action; false (and failed named) when it
// failed.
bool PerformStep(InstallerRun& run, InstallView& view, int index, const char* name,
                 const ActionKind& kind, int pass, char (&entry)[kInstallEntrySize],
                 const CheckedFiles& checkedFiles, StepName& failed) {
    ShowActionStatus(view, kind.statusTextId, name);
    run.SetStatus(index, kind.status);
    StepName step = NameStep(kind.key, pass, entry);
    if (PerformInstallAction(*run.ComponentAt(index), entry, &checkedFiles) != 0) return true;
    failed = step;
    return false;
}

// Runs the component's passes; true when the last extract or install action (the only
// one that counts) succeeded, or when there was none and the run had not failed yet. A
// registry section that leaves a value unwritten stops the component at once. A failed
// component is named to the user and stays "Has been downloaded.".
bool InstallComponent(InstallerRun& run, InstallView& view, int index) {
    Component& component = *run.ComponentAt(index);
    char name[kShownNameSize];
    CopyText(name, component.name);  // cut, as the column showed it
    if (JudgeComponentSource(component) == SourceVerdict::Refused) {
        run.SetStatus(index, DownloadError);
        ReportRefusal(run, view, name, IDS_UNVERIFIED_SOURCE);
        return false;
    }
    // Held until the component's actions are over (closed when this returns).
    CheckedFiles checkedFiles;
    AuthenticityResult checked = checkedFiles.Check(component);
    if (checked != Authentic) {
        run.SetStatus(index, DownloadError);
        ReportRefusal(run, view, name,
                      checked == CannotVerify ? IDS_CANNOT_VERIFY : IDS_NOT_AUTHENTIC);
        return false;
    }
    int count = static_cast<int>(
        GetPrivateProfileIntA(component.sectionName, "count", 1, component.descriptionPath));
    char entry[kInstallEntrySize];
    bool succeeded = true;
    StepName failed = {};
    for (int pass = 1; pass <= count && succeeded; ++pass) {
        if (ReadEntry(component, kExtractAction.key, pass, entry))
            succeeded = PerformStep(run, view, index, name, kExtractAction, pass, entry,
                                    checkedFiles, failed);
        if (ReadEntry(component, "registry", pass, entry)) {
            RegistrySectionResult applied = ApplyRegistrySection(component.descriptionPath, entry);
            LogEvent("component '%s': registry section %s: %s", name, entry,
                     RegistrySectionResultName(applied));
            if (!RegistrySectionSucceeded(applied)) {
                failed = NameStep("registry", pass, entry);
                succeeded = false;
                break;
            }
        }
        if (ReadEntry(component, kInstallAction.key, pass, entry))
            succeeded = PerformStep(run, view, index, name, kInstallAction, pass, entry,
                                    checkedFiles, failed);
    }
    if (!succeeded) {
        run.SetStatus(index, Downloaded);
        ReportFailedStep(run, view, name, failed);
        return false;
    }
    run.SetStatus(index, InstallDone);
    return true;
}

// Installs component after component until none is left or one fails; false when one
// failed.
bool InstallComponents(InstallerRun& run, InstallView& view) {
    for (;;) {
        int index = run.NextComponentToInstall();
        if (index < 0) return true;
        if (!InstallComponent(run, view, index)) return false;
    }
}

}  // namespace

void RunInstallation(InstallerRun& run, InstallView& view) {
    view.BringToFront();
    char caption[50];
    LoadText(IDS_APP_TITLE, caption, countof(caption));
    if (!EveryComponentPresent(run)) {
        ReportNotReady(run, view, caption);
        return;
    }
    char text[100];
    LoadText(IDS_ALL_DOWNLOADED, text, countof(text));
    view.ShowStatusLine(text);
    view.ResetProgress();
    char profile[260];
    if (!GetStateProfilePath(profile)) profile[0] = '\0';
    if (!AskToInstall(run, view)) {
        LogEvent("\"Ready to Install\" declined");
        run.cancelledByUser = true;
        Finish(view, profile, DeclinedEnd(view.AskDeleteFiles()));
        return;
    }
    RecordInstallStart(run, profile);
    bool localOnly = IsLocalOnly(run);
    bool installed = InstallComponents(run, view);
    // The extension library may have come from the work directory, which is to be
    // deleted once the run ends.
    ReleaseExtensionLibrary();
    InstalledFacts facts = {};
    facts.profileKnown = profile[0] != '\0';
    facts.programReportedSuccess =
        facts.profileKnown && GetPrivateProfileIntA("result", "success", 0, profile) == 1;
    facts.localOnly = localOnly;
    facts.nestedRun = g_nestedRun;
    facts.networkRun = run.networkRun;
    facts.actionFailed = !installed;
    run.installFailed = !installed;
    Finish(view, profile, InstalledEnd(facts));
}
