// The download run's states and the decisions of each transition (see download_flow.h).
#include "config/download_flow.h"

#include "common/run_log.h"
#include "common/text.h"
#include "shell/resource_ids.h"

namespace {

// The longest display name a status line shows, as the Component column cuts it.
constexpr size_t kShownNameSize = 70;

}  // namespace

namespace {

constexpr unsigned In(FlowState state) { return 1u << static_cast<unsigned>(state); }

// Every state but Ended: the run's window is still there to act on.
constexpr unsigned kLive = In(FlowState::Starting) | In(FlowState::Connecting) |
                           In(FlowState::Fetching) | In(FlowState::Finishing) |
                           In(FlowState::Installing);
// Before the installation: once it runs it has the files in use, the window is hidden,
// and its own outcome ends the run.
constexpr unsigned kBeforeInstalling = kLive & ~In(FlowState::Installing);

}  // namespace

const DownloadFlow::Transition DownloadFlow::kTransitions[] = {
    {In(FlowState::Starting), FlowEvent::Begin, &DownloadFlow::OnBegin},
    {In(FlowState::Starting), FlowEvent::Decline, &DownloadFlow::OnDecline},
    {In(FlowState::Connecting), FlowEvent::Connected, &DownloadFlow::OnConnected},
    {In(FlowState::Fetching), FlowEvent::FileStarted, &DownloadFlow::OnFileStarted},
    {In(FlowState::Fetching), FlowEvent::FileDone, &DownloadFlow::OnFileDone},
    {In(FlowState::Finishing), FlowEvent::DownloadOver, &DownloadFlow::OnDownloadOver},
    {kBeforeInstalling, FlowEvent::Quit, &DownloadFlow::OnQuit},
    {kBeforeInstalling, FlowEvent::QuitFromTray, &DownloadFlow::OnQuitFromTray},
    {kBeforeInstalling, FlowEvent::Suspend, &DownloadFlow::OnSuspend},
    {kLive, FlowEvent::SessionEnding, &DownloadFlow::OnSessionEnding},
};

const DownloadFlow::Transition* DownloadFlow::Row(FlowState state, FlowEvent event) {
    for (const Transition& transition : kTransitions) {
        if ((transition.states & In(state)) != 0 && transition.event == event) return &transition;
    }
    return nullptr;
}

bool DownloadFlow::Accepts(FlowState state, FlowEvent event) {
    return Row(state, event) != nullptr;
}

void DownloadFlow::Handle(const FlowReport& report) {
    const Transition* transition = Row(state, report.event);
    if (transition != nullptr) (this->*transition->step)(report);
}

unsigned FileFailureTextId(int result) {
    switch (result) {
    case TransferDiskFull:
        return IDS_DISK_FULL;
    case TransferWriteDenied:
        return IDS_WRITE_DENIED;
    case TransferNotAuthentic:
        return IDS_NOT_AUTHENTIC;
    case TransferKeyInvalid:
        return IDS_KEY_INVALID;
    case TransferCannotVerify:
        return IDS_CANNOT_VERIFY;
    case TransferWrongPackage:
        return IDS_PACKAGE_WRONG_NAME;
    case TransferPackageTooOld:
        return IDS_PACKAGE_TOO_OLD;
    case TransferPackageExpired:
        return IDS_PACKAGE_EXPIRED;
    case TransferPackageMalformed:
        return IDS_PACKAGE_UNREADABLE;
    case TransferTlsUnavailable:
        return IDS_TLS_UNAVAILABLE;
    case TransferTlsNoAgreement:
        return IDS_TLS_NO_AGREEMENT;
    case TransferCertificateWrongName:
        return IDS_CERTIFICATE_WRONG_NAME;
    case TransferCertificateExpired:
        return IDS_CERTIFICATE_EXPIRED;
    case TransferCertificateUntrusted:
        return IDS_CERTIFICATE_UNTRUSTED;
    case TransferCertificateRevoked:
        return IDS_CERTIFICATE_REVOKED;
    case TransferTlsDowngrade:
        return IDS_TLS_DOWNGRADE;
    default:
        return IDS_RECEIVE_ERROR;
    }
}

bool RemotePath(ProtocolKind protocol, const char* sourceDir, const char* file, char (&out)[260]) {
    out[0] = '\0';
    if (sourceDir[0] == '\0') return true;
    bool fits = CopyText(out, sourceDir) && AppendText(out, "/");
    if (fits && protocol == ProtocolFtp) fits = AppendText(out, file);
    return fits;
}

void DownloadFlow::OnBegin(const FlowReport&) { RequestNextFile(); }

void DownloadFlow::OnDecline(const FlowReport&) { End(RunEnd::Finished); }

void DownloadFlow::OnConnected(const FlowReport& report) {
    if (report.result != TransferOk) {
        port.ShowStatus(IDS_CONNECT_ERROR, 256, run.site, nullptr);
        EndDownload(true);
        return;
    }
    CopyText(connectedSite, run.site);
    RequestNextFile();
}

void DownloadFlow::OnFileStarted(const FlowReport& report) {
    if (report.result != TransferOk) {
        FailFile(IDS_RECEIVE_ERROR, 256, run.site);
        return;
    }
    // The line may still say that the worker waited for the network.
    port.ShowStatus(IDS_DOWNLOADING_FILE, 300, run.currentFile, nullptr);
}

void DownloadFlow::OnFileDone(const FlowReport& report) {
    char temporary[260], final[260];
    const Component& component = Current();
    bool named = port.SourcePath(component, kTemporaryName, temporary) &&
                 port.SourcePath(component, run.currentFile, final);
    int result = report.result;
    if (result == TransferOk && named) result = CheckReceivedFile(report, temporary, final);
    char line[400], number[16];
    FormatDecimal(number, sizeof number, result);
    CopyText(line, run.currentFile);
    AppendText(line, result != TransferOk ? ": failed"
                     : report.keptInPlace ? ": kept in place"
                                          : ": received");
    AppendText(line, " (transfer result ");
    AppendText(line, number);
    AppendText(line, ")");
    port.Log(line);
    if (result != TransferOk) {
        // What is not the publisher's is never kept where it could be installed from.
        if (named && result == TransferNotAuthentic) port.RemoveFile(temporary);
        FailFile(FileFailureTextId(result), 256, run.site);
        return;
    }
    if (report.keptInPlace) {
        port.RemoveFile(temporary);  // left empty by the worker; harmless if it stays
        RequestNextFile();
        return;
    }
    if (named && port.PutInPlace(temporary, final)) {
        RequestNextFile();
        return;
    }
    // The file arrived but cannot be put in place (in use, or the folder refused it).
    FailFile(IDS_WRITE_DENIED, 256, run.site);
}

// A signed package's digest (checked by the worker) is recorded for the check before
// install; an ftp file must match its pin.
int DownloadFlow::CheckReceivedFile(const FlowReport& report, const char* temporary,
                                    const char* final) {
    const Component& component = Current();
    if (port.Protocol(component) == ProtocolHttp) {
        if (report.digestVerified && !run.verifiedFiles.Record(final, report.digest))
            return TransferNotAuthentic;
        return TransferOk;
    }
    Sha256Digest digest = {};
    switch (port.CheckPin(component, static_cast<size_t>(run.fileIndex), temporary, digest)) {
    case PinCheck::NotPinned:
        return TransferOk;
    case PinCheck::CannotVerify:
        return TransferCannotVerify;
    case PinCheck::Matches:
        // Recorded as a signed package's is: a pinned cvgetex.dll may then be loaded.
        (void)run.verifiedFiles.Record(final, digest);
        return TransferOk;
    default:
        return TransferNotAuthentic;
    }
}

void DownloadFlow::OnDownloadOver(const FlowReport&) {
    state = FlowState::Installing;
    port.StartInstallation();
}

void DownloadFlow::OnQuit(const FlowReport&) {
    port.StopTransfers();
    port.Log("Quit confirmed by the user");
    run.cancelledByUser = true;
    End(RunEnd::Finished);
}

// Nothing is asked: the transfer stops and the run ends as after a confirmed Quit.
void DownloadFlow::OnQuitFromTray(const FlowReport&) {
    quitFromTray = true;
    run.cancelledByUser = true;
    port.Log("Quit chosen from the tray");
    port.StopTransfers();
    End(RunEnd::Finished);
}

void DownloadFlow::OnSuspend(const FlowReport&) {
    port.Log("Suspend chosen by the user");
    port.AbortTransfer();
    End(RunEnd::Suspended);
}

// The download is suspended (the fetch stops, an open "HTTP Settings" dialog closes) and
// the run ends so that the restart shortcut is written.
void DownloadFlow::OnSessionEnding(const FlowReport&) {
    port.StopTransferForSession();
    End(RunEnd::Suspended);
}

void DownloadFlow::RequestNextFile() {
    char target[260];
    if (!FindMissingFile(target)) return;
    const Component& component = Current();
    ProtocolKind protocol = port.Protocol(component);
    if (!IsNetworkProtocol(protocol)) {
        EndDownload(true);
        return;
    }
    // Nothing of a component that nothing vouches for is fetched under the key.
    if (port.SourceRefused(component)) {
        char name[kShownNameSize];
        CopyText(name, component.name);  // cut, as the column shows it
        port.ShowStatus(IDS_UNVERIFIED_SOURCE, 300, name, nullptr);
        run.SetCurrentStatus(DownloadError);
        EndDownload(true);
        return;
    }
    if (!EqualsIgnoringCase(connectedSite, run.site)) {
        port.ShowStatus(IDS_CONNECTING, 300, run.site, nullptr);
        port.Connect(component, protocol, run.site, run.proxy, run.port);
        connectPending = true;
        state = FlowState::Connecting;
        return;
    }
    port.ShowStatus(IDS_DOWNLOADING_FILE, 300, run.currentFile, nullptr);
    char remote[260], local[260];
    if (!RemotePath(protocol, run.sourceDir, run.currentFile, remote) ||
        !port.SourcePath(component, kTemporaryName, local)) {
        EndDownload(true);
        return;
    }
    if (!port.PrepareTarget(component, protocol, target)) {
        FailFile(IDS_WRITE_DENIED, 256, run.site);
        return;
    }
    state = FlowState::Fetching;
    if (!port.RequestFile(protocol, remote, local)) EndDownload(true);
}

// The next file that is not there yet, moving on to the next component that needs a
// download when the current one's list is done; false when the download has ended.
bool DownloadFlow::FindMissingFile(char (&target)[260]) {
    for (;;) {
        if (connectPending) {
            connectPending = false;
        } else {
            NextFileResult next;
            while ((next = run.NextFile()) == NextFileResult::ListDone) {
                if (!SelectNextComponent()) {
                    EndDownload(false);
                    return false;
                }
            }
            // A name that does not fit would fetch another file: the run fails instead.
            if (next == NextFileResult::NameTooLong) {
                EndDownload(true);
                return false;
            }
        }
        const Component& component = Current();
        if (!port.SourcePath(component, run.currentFile, target)) {
            EndDownload(true);
            return false;
        }
        if (!port.FileCounts(component, static_cast<size_t>(run.fileIndex), target)) return true;
    }
}

// Marks the current component downloaded and moves on to the next that needs a download
// and has a site (one without is marked as a download error); false when none is left.
bool DownloadFlow::SelectNextComponent() {
    run.SetCurrentStatus(Downloaded);
    for (;;) {
        int index = run.NextComponentToDownload();
        if (index < 0) {
            run.currentIndex = run.ComponentCount();
            return false;
        }
        const Component& component = *run.ComponentAt(index);
        ComponentDownload download;
        port.ReadDownload(component, download);
        run.BeginComponent(index, download.files);
        CopyText(run.site, download.site);
        CopyText(run.proxy, download.proxy);
        CopyText(run.port, download.port);
        char line[400];
        CopyText(line, "component '");
        AppendText(line, component.name);
        if (!SiteCanBeDownloaded(run.site)) {
            AppendText(line, "': its site cannot be downloaded from");
            port.Log(line);
            run.SetCurrentStatus(DownloadError);
            continue;
        }
        CopyText(run.sourceDir, download.sourceDir);
        run.SetCurrentStatus(Downloading);
        char site[kSiteSize];
        SiteForLog(run.site, site, sizeof site);
        AppendText(line, "': downloading from ");
        AppendText(line, site);
        port.Log(line);
        return true;
    }
}

void DownloadFlow::FailFile(unsigned textId, int bufferSize, const char* second) {
    port.ShowStatus(textId, bufferSize, run.currentFile, second);
    EndDownload(true);
    run.SetCurrentStatus(DownloadError);
}

void DownloadFlow::EndDownload(bool failed) {
    state = FlowState::Finishing;
    port.PostDownloadOver(failed);
}

void DownloadFlow::End(RunEnd end) {
    state = FlowState::Ended;
    port.EndRun(end);
}
