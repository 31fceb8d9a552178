// The download run as a state machine: which file comes next, when to connect, what a
// worker's report means for the file and the run, and when the installation starts.
// It decides; the window that shows the run carries its commands out through
// DownloadPort and turns the workers' messages and the user's choices into events.
//
//   state        event            what follows
//   Starting     Begin            the first missing file: Connecting, Fetching or Finishing
//   Starting     Decline          Ended (the run ends as finished)
//   Connecting   Connected        ok: the file waiting for it is fetched; else Finishing
//   Fetching     FileStarted      ok: stays; else Finishing
//   Fetching     FileDone         ok: the next missing file; else Finishing
//   Finishing    DownloadOver     Installing (the installation starts, once)
//   before       Quit             Ended (finished: the files go)
//   before       QuitFromTray     Ended as after Quit, nothing asked
//   before       Suspend          Ended (suspended)
//   not Ended    SessionEnding    Ended (suspended, for the session)
//
// "before" is every state before Installing: the installation has the files in use, its
// window is hidden, and its own outcome ends the run. Any other pair is ignored: a report
// that comes late, or twice, changes nothing. The table is DownloadFlow::kTransitions.
#pragma once

#include <stddef.h>

#include "config/component_rules.h"
#include "config/installer_run.h"
#include "config/installer_run_outcome.h"
#include "transfer/sha256_text.h"
#include "transfer/transfer_result.h"

enum class FlowState {
    Starting,    // the descriptions are read; nothing is asked of a worker yet
    Connecting,  // the current file waits for the connection to its site ("dl1")
    Fetching,    // a worker fetches the current file ("dl2" to "dl4")
    Finishing,   // no file is left (or one failed): "dldone" is on its way
    Installing,  // the installation decides how the run ends
    Ended,       // the run's window has been told to end
};

enum class FlowEvent {
    Begin,          // the dialog is shown (or the welcome was accepted)
    Decline,        // the welcome was declined
    Connected,      // "dl1", with its result
    FileStarted,    // "dl2", with its result
    FileDone,       // "dl4", with its result, how, and the digest the worker verified
    DownloadOver,   // "dldone" arrived
    Quit,           // confirmed in the dialog
    QuitFromTray,   // chosen from the tray icon's menu: nothing is asked
    Suspend,        // the Suspend button
    SessionEnding,  // Windows is ending the session
};

struct FlowReport {
    FlowEvent event;
    int result = TransferOk;
    bool keptInPlace = false;     // FileDone: the file in place is the publisher's and stays
    bool digestVerified = false;  // FileDone: the worker checked the file against a signature
    Sha256Digest digest = {};
};

// What the decisions need of a component's description.
struct ComponentDownload {
    char files[kFileListSize];
    char site[kSiteSize];
    char proxy[kProxySize];
    char port[kPortSize];
    char sourceDir[kSourceDirSize];
};

// What a pinned file received over ftp turned out to be.
enum class PinCheck {
    NotPinned,     // the description pins none of the component's files
    Matches,       // digest holds the pin
    NoPin,         // the file's pin is missing or is no digest
    Mismatch,      // the file is not what the pin promises
    CannotVerify,  // the platform could not compute the digest
};

// The reads and the effects the flow asks for. The download dialog implements it with
// the description files, the disk, its workers and its controls.
class DownloadPort {
public:
    // Reads of the description and the disk.
    virtual void ReadDownload(const Component& component, ComponentDownload& out) = 0;
    virtual ProtocolKind Protocol(const Component& component) = 0;
    // The source directory, a backslash and name; false when it does not fit.
    virtual bool SourcePath(const Component& component, const char* name, char (&out)[260]) = 0;
    // Whether the index-th file, found at path, counts as there already.
    virtual bool FileCounts(const Component& component, size_t index, const char* path) = 0;
    // Whether the description lets nothing of the component be fetched.
    virtual bool SourceRefused(const Component& component) = 0;
    // The pin check of the index-th file, received into temporary.
    virtual PinCheck CheckPin(const Component& component, size_t index, const char* temporary,
                              Sha256Digest& digest) = 0;

    // Effects on the transfer.
    virtual void Connect(const Component& component, ProtocolKind protocol, const char* site,
                         const char* proxy, const char* port) = 0;
    // Prepares the worker for the file that goes to target: the signature it checks
    // (http), or room made for it (ftp: a file there is not the pinned one); false when
    // the room cannot be made.
    virtual bool PrepareTarget(const Component& component, ProtocolKind protocol,
                               const char* target) = 0;
    // Asks the protocol's worker for remote into local; false when it refuses.
    virtual bool RequestFile(ProtocolKind protocol, const char* remote, const char* local) = 0;
    virtual void StopTransfers() = 0;           // the run is quit: both workers disconnect
    virtual void AbortTransfer() = 0;           // the fetch stops where it is
    virtual void StopTransferForSession() = 0;  // the session ends: the fetch stops

    // Effects on the files.
    virtual void RemoveFile(const char* path) = 0;
    // Moves the received temporary file to final, making its folders; false when it stays.
    virtual bool PutInPlace(const char* temporary, const char* final) = 0;

    // Effects on the window and the run.
    virtual void ShowStatus(unsigned textId, int bufferSize, const char* first,
                            const char* second) = 0;
    virtual void Log(const char* line) = 0;
    virtual void PostDownloadOver(bool failed) = 0;
    virtual void StartInstallation() = 0;
    virtual void EndRun(RunEnd end) = 0;

protected:
    ~DownloadPort() = default;
};

// The status-line text for a file that failed with result.
unsigned FileFailureTextId(int result);

// The path on the server of a file: the source directory and a slash, and for ftp the
// name too (http names its file inside the signed package's parts). Empty without a
// source directory; false when it does not fit.
bool RemotePath(ProtocolKind protocol, const char* sourceDir, const char* file, char (&out)[260]);

class DownloadFlow {
public:
    DownloadFlow(InstallerRun& run, DownloadPort& port) : run(run), port(port) {}

    void Handle(const FlowReport& report);
    void Handle(FlowEvent event) { Handle(FlowReport{event}); }

    FlowState State() const { return state; }
    // Whether the table has a row for the event in that state.
    static bool Accepts(FlowState state, FlowEvent event);
    // Quit was chosen from the tray: a question still open counts as answered.
    bool QuitChosenFromTray() const { return quitFromTray; }

    // The name of the temporary file a worker writes into.
    static constexpr const char kTemporaryName[] = "tmp.tmp";

private:
    using Step = void (DownloadFlow::*)(const FlowReport&);
    struct Transition {
        unsigned states;  // a bit for each state the row applies in
        FlowEvent event;
        Step step;
    };
    static const Transition kTransitions[];
    // The table's row for the event in that state, or nullptr.
    static const Transition* Row(FlowState state, FlowEvent event);

    void OnBegin(const FlowReport& report);
    void OnDecline(const FlowReport& report);
    void OnConnected(const FlowReport& report);
    void OnFileStarted(const FlowReport& report);
    void OnFileDone(const FlowReport& report);
    void OnDownloadOver(const FlowReport& report);
    void OnQuit(const FlowReport& report);
    void OnQuitFromTray(const FlowReport& report);
    void OnSuspend(const FlowReport& report);
    void OnSessionEnding(const FlowReport& report);

    // Asks for the next file that is not there yet, connecting first when its site is
    // not the connected one; ends the download when no file is left or one cannot be had.
    void RequestNextFile();
    bool FindMissingFile(char (&target)[260]);
    bool SelectNextComponent();
    int CheckReceivedFile(const FlowReport& report, const char* temporary, const char* final);
    void FailFile(unsigned textId, int bufferSize, const char* second);
    void EndDownload(bool failed);
    void End(RunEnd end);
    const Component& Current() const { return *run.ComponentAt(run.currentIndex); }

    InstallerRun& run;
    DownloadPort& port;
    FlowState state = FlowState::Starting;
    bool connectPending = false;  // the current file waits for the connection
    bool quitFromTray = false;
    char connectedSite[kSiteSize] = {};
};
