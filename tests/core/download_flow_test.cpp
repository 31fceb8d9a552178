// The download run's state machine, driven by scripted reports against a port that
// answers from a table of components and records every command as one line.
#include "config/download_flow.h"

#include "common/text.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

char testWorkDirectory[] = "W";

struct TestComponent {
    const char* name;
    const char* files;
    const char* site;
    ProtocolKind protocol;
    const char* sourceDir;
};

class RecordingPort : public DownloadPort {
public:
    void ReadDownload(const Component& component, ComponentDownload& out) override {
        const TestComponent& entry = components.at(component.name);
        CopyText(out.files, entry.files);
        CopyText(out.site, entry.site);
        CopyText(out.proxy, "");
        CopyText(out.port, "");
        CopyText(out.sourceDir, entry.sourceDir);
    }
    ProtocolKind Protocol(const Component& component) override {
        return components.at(component.name).protocol;
    }
    bool SourcePath(const Component&, const char* name, char (&out)[260]) override {
        return CopyText(out, "W\\") && AppendText(out, name) && strlen(out) < 40;
    }
    bool FileCounts(const Component&, size_t, const char* path) override {
        return present.count(path) != 0;
    }
    bool SourceRefused(const Component& component) override {
        return refused.count(component.name) != 0;
    }
    PinCheck CheckPin(const Component&, size_t, const char*, Sha256Digest& digest) override {
        digest.bytes[0] = 7;
        return pin;
    }
    void Connect(const Component&, ProtocolKind, const char* site, const char*,
                 const char*) override {
        Record(std::string("connect ") + site);
    }
    bool PrepareTarget(const Component&, ProtocolKind, const char* target) override {
        return unremovable.count(target) == 0;
    }
    bool RequestFile(ProtocolKind, const char* remote, const char* local) override {
        Record(std::string("request ") + remote + " -> " + local);
        return acceptRequests;
    }
    void StopTransfers() override { Record("stop"); }
    void AbortTransfer() override { Record("abort"); }
    void StopTransferForSession() override { Record("stop for session"); }
    void RemoveFile(const char* path) override { Record(std::string("remove ") + path); }
    bool PutInPlace(const char* temporary, const char* final) override {
        Record(std::string("put ") + temporary + " -> " + final);
        return movable;
    }
    void ShowStatus(unsigned textId, int, const char* first, const char*) override {
        Record("status " + std::to_string(textId) + " " + (first != nullptr ? first : ""));
    }
    void Log(const char*) override {}
    void PostDownloadOver(bool failed) override { Record(failed ? "over failed" : "over"); }
    void StartInstallation() override { Record("install"); }
    void EndRun(RunEnd end) override {
        Record(end == RunEnd::Finished ? "end finished" : "end suspended");
    }

    void Record(const std::string& line) {
        if (!trace.empty()) trace += "; ";
        trace += line;
    }

    std::map<std::string, TestComponent> components;
    std::set<std::string> present, refused, unremovable;
    PinCheck pin = PinCheck::NotPinned;
    bool acceptRequests = true;
    bool movable = true;
    std::string trace;
};

std::string Status(unsigned textId, const std::string& first) {
    return "status " + std::to_string(textId) + " " + first;
}

struct StatusLog : ComponentStatusListener {
    void OnComponentStatus(int index) override {
        statuses.push_back(std::to_string(index) + "=" +
                           std::to_string(run->ComponentAt(index)->status));
    }
    const InstallerRun* run = nullptr;
    std::vector<std::string> statuses;
};

struct Fixture {
    explicit Fixture(const std::vector<TestComponent>& components) {
        log.run = &run;
        run.SetStatusListener(&log);
        for (const TestComponent& entry : components) {
            Component component = {};
            CopyText(component.name, entry.name);
            component.status = NeedsDownload;
            run.AddComponent(component);
            port.components[entry.name] = entry;
        }
    }
    void Send(FlowEvent event, int result = TransferOk) {
        FlowReport report{event};
        report.result = result;
        flow.Handle(report);
    }
    InstallerRun run{testWorkDirectory, nullptr, true, false, false};
    RecordingPort port;
    DownloadFlow flow{run, port};
    StatusLog log;
};

const TestComponent kOne = {"one", "a.bin, sub\\b.bin", "Example.org", ProtocolHttp, "pub"};
const TestComponent kTwo = {"two", "c.bin", "example.ORG", ProtocolHttp, "pub2"};
const TestComponent kFtp = {"ftp", "f.bin", "ftp.example", ProtocolFtp, "dir"};

}  // namespace

// One connection per site (its name compared ignoring case), every file asked for in
// turn and put in place, each component marked as it is begun and finished.
TEST(DownloadFlow, WalksEveryMissingFileConnectingOncePerSite) {
    Fixture f({kOne, kTwo});
    f.port.present.insert("W\\sub\\b.bin");
    f.Send(FlowEvent::Begin);
    EXPECT_EQ(Status(IDS_CONNECTING, "Example.org") + "; connect Example.org", f.port.trace);
    EXPECT_EQ(FlowState::Connecting, f.flow.State());
    f.port.trace.clear();
    f.Send(FlowEvent::Connected);
    f.Send(FlowEvent::FileStarted);
    f.Send(FlowEvent::FileDone);
    f.Send(FlowEvent::FileDone);
    EXPECT_EQ(Status(IDS_DOWNLOADING_FILE, "a.bin") + "; request pub/ -> W\\tmp.tmp; " +
                  Status(IDS_DOWNLOADING_FILE, "a.bin") + "; put W\\tmp.tmp -> W\\a.bin; " +
                  Status(IDS_DOWNLOADING_FILE, "c.bin") +
                  "; request pub2/ -> W\\tmp.tmp; put W\\tmp.tmp -> W\\c.bin; over",
              f.port.trace);
    EXPECT_EQ(FlowState::Finishing, f.flow.State());
    const std::vector<std::string> statuses = {"0=4", "0=1", "1=4", "1=1"};
    EXPECT_EQ(statuses, f.log.statuses);
    f.port.trace.clear();
    f.Send(FlowEvent::DownloadOver);
    f.Send(FlowEvent::DownloadOver);  // a second "dldone" cannot start it again
    f.Send(FlowEvent::QuitFromTray);  // the installation has the files in use
    EXPECT_EQ("install", f.port.trace);
    EXPECT_EQ(FlowState::Installing, f.flow.State());
    EXPECT_FALSE(f.run.cancelledByUser);
}

// How each way a file can fail ends the download: the text shown, what happens to the
// received file, and the component's status.
TEST(DownloadFlow, EveryFailureEndsTheDownloadWithItsText) {
    struct Case {
        const char* name;
        TestComponent component;
        FlowEvent event;  // after Begin and Connected
        int result;
        PinCheck pin;
        std::string trace;  // from the report on
        int status;
    };
    const TestComponent ftp = kFtp;
    const Case cases[] = {
        {"no connection", kTwo, FlowEvent::Connected, TransferLookupFailed, PinCheck::NotPinned,
         Status(IDS_CONNECT_ERROR, "example.ORG") + "; over failed", Downloading},
        {"refused item", kTwo, FlowEvent::FileStarted, TransferReceiveFailed, PinCheck::NotPinned,
         Status(IDS_RECEIVE_ERROR, "c.bin") + "; over failed", DownloadError},
        {"disk full", kTwo, FlowEvent::FileDone, TransferDiskFull, PinCheck::NotPinned,
         Status(IDS_DISK_FULL, "c.bin") + "; over failed", DownloadError},
        {"not the publisher's", kTwo, FlowEvent::FileDone, TransferNotAuthentic,
         PinCheck::NotPinned,
         "remove W\\tmp.tmp; " + Status(IDS_NOT_AUTHENTIC, "c.bin") + "; over failed",
         DownloadError},
        {"certificate revoked", kTwo, FlowEvent::FileDone, TransferCertificateRevoked,
         PinCheck::NotPinned, Status(IDS_CERTIFICATE_REVOKED, "c.bin") + "; over failed",
         DownloadError},
        {"pin mismatch", ftp, FlowEvent::FileDone, TransferOk, PinCheck::Mismatch,
         "remove W\\tmp.tmp; " + Status(IDS_NOT_AUTHENTIC, "f.bin") + "; over failed",
         DownloadError},
        {"pin missing", ftp, FlowEvent::FileDone, TransferOk, PinCheck::NoPin,
         "remove W\\tmp.tmp; " + Status(IDS_NOT_AUTHENTIC, "f.bin") + "; over failed",
         DownloadError},
        {"digest not computed", ftp, FlowEvent::FileDone, TransferOk, PinCheck::CannotVerify,
         Status(IDS_CANNOT_VERIFY, "f.bin") + "; over failed", DownloadError},
    };
    for (const Case& c : cases) {
        Fixture f({c.component});
        f.port.pin = c.pin;
        f.Send(FlowEvent::Begin);
        if (c.event != FlowEvent::Connected) f.Send(FlowEvent::Connected);
        f.port.trace.clear();
        f.Send(c.event, c.result);
        EXPECT_EQ(c.trace, f.port.trace) << c.name;
        EXPECT_EQ(c.status, f.run.ComponentAt(0)->status) << c.name;
        EXPECT_EQ(FlowState::Finishing, f.flow.State()) << c.name;
        f.port.trace.clear();
        f.Send(FlowEvent::FileDone);  // a late report changes nothing
        EXPECT_EQ("", f.port.trace) << c.name;
    }
}

// What the description or the disk allows before anything is asked of a worker.
TEST(DownloadFlow, AFileThatCannotBeAskedForEndsTheDownload) {
    struct Case {
        const char* name;
        TestComponent component;
        const char* refused;      // component nothing vouches for
        const char* unremovable;  // a mismatching pinned file that stays
        bool accept;
        bool movable;
        std::string trace;  // after Begin and Connected
    };
    const std::string longName(50, 'x');
    const TestComponent longFile = {"one", longName.c_str(), "h", ProtocolHttp, ""};
    const TestComponent copy = {"one", "a.bin", "h", ProtocolCopy, ""};
    const TestComponent noSite = {"one", "a.bin", "", ProtocolHttp, ""};
    const Case cases[] = {
        {"path does not fit", longFile, "", "", true, true, "over failed"},
        {"not a network protocol", copy, "", "", true, true, "over failed"},
        {"no site: the component is skipped", noSite, "", "", true, true, "over"},
        {"source refused", kTwo, "two", "", true, true,
         Status(IDS_UNVERIFIED_SOURCE, "two") + "; over failed"},
        {"pinned file in the way", kFtp, "", "W\\f.bin", true, true,
         Status(IDS_DOWNLOADING_FILE, "f.bin") + "; " + Status(IDS_WRITE_DENIED, "f.bin") +
             "; over failed"},
        {"request refused", kTwo, "", "", false, true,
         Status(IDS_DOWNLOADING_FILE, "c.bin") + "; request pub2/ -> W\\tmp.tmp; over failed"},
        {"cannot be put in place", kTwo, "", "", true, false,
         Status(IDS_DOWNLOADING_FILE, "c.bin") +
             "; request pub2/ -> W\\tmp.tmp; put W\\tmp.tmp -> W\\c.bin; " +
             Status(IDS_WRITE_DENIED, "c.bin") + "; over failed"},
    };
    for (const Case& c : cases) {
        Fixture f({c.component});
        f.port.refused.insert(c.refused);
        f.port.unremovable.insert(c.unremovable);
        f.port.acceptRequests = c.accept;
        f.port.movable = c.movable;
        f.Send(FlowEvent::Begin);
        if (f.flow.State() == FlowState::Connecting) {
            f.port.trace.clear();
            f.Send(FlowEvent::Connected);
        }
        if (f.flow.State() == FlowState::Fetching) f.Send(FlowEvent::FileDone);
        EXPECT_EQ(c.trace, f.port.trace) << c.name;
        EXPECT_EQ(FlowState::Finishing, f.flow.State()) << c.name;
    }
}

// The digests the run holds for the check before install: a signed package's from the
// worker, a matching pin's from the check.
TEST(DownloadFlow, VerifiedFilesAreRecordedAndKeptFilesStay) {
    Fixture f({kTwo, kFtp});
    f.port.pin = PinCheck::Matches;
    f.Send(FlowEvent::Begin);
    f.Send(FlowEvent::Connected);
    FlowReport kept{FlowEvent::FileDone};
    kept.keptInPlace = true;
    kept.digestVerified = true;
    kept.digest.bytes[0] = 3;
    f.port.trace.clear();
    f.flow.Handle(kept);
    Sha256Digest digest = {};
    ASSERT_TRUE(f.run.verifiedFiles.Find("w\\C.BIN", digest));
    EXPECT_EQ(3, digest.bytes[0]);
    EXPECT_EQ(
        "remove W\\tmp.tmp; " + Status(IDS_CONNECTING, "ftp.example") + "; connect ftp.example",
        f.port.trace);
    f.Send(FlowEvent::Connected);
    f.Send(FlowEvent::FileDone);
    ASSERT_TRUE(f.run.verifiedFiles.Find("W\\f.bin", digest));
    EXPECT_EQ(7, digest.bytes[0]);
    EXPECT_EQ(FlowState::Finishing, f.flow.State());
}

// The user's choices and the session's end, in each state they can come in.
TEST(DownloadFlow, TheUserAndTheSessionEndTheRun) {
    struct Case {
        const char* name;
        FlowEvent before;  // Begin puts the run in Connecting; Decline ends it
        FlowEvent event;
        std::string trace;
        bool cancelled;
    };
    const Case cases[] = {
        {"welcome declined", FlowEvent::Decline, FlowEvent::Begin, "", false},
        {"quit", FlowEvent::Begin, FlowEvent::Quit, "stop; end finished", true},
        {"quit from the tray", FlowEvent::Begin, FlowEvent::QuitFromTray, "stop; end finished",
         true},
        {"suspend", FlowEvent::Begin, FlowEvent::Suspend, "abort; end suspended", false},
        {"session ends", FlowEvent::Begin, FlowEvent::SessionEnding,
         "stop for session; end suspended", false},
    };
    for (const Case& c : cases) {
        Fixture f({kTwo});
        f.Send(c.before);
        f.port.trace.clear();
        f.Send(c.event);
        EXPECT_EQ(c.trace, f.port.trace) << c.name;
        EXPECT_EQ(FlowState::Ended, f.flow.State()) << c.name;
        EXPECT_EQ(c.cancelled, f.run.cancelledByUser) << c.name;
        EXPECT_EQ(c.event == FlowEvent::QuitFromTray, f.flow.QuitChosenFromTray()) << c.name;
        f.port.trace.clear();
        f.Send(FlowEvent::Quit);  // once ended, nothing more happens
        f.Send(FlowEvent::Connected);
        EXPECT_EQ("", f.port.trace) << c.name;
    }
}

// The table as a whole: the worker's reports only in the state that waits for them, the
// user's choices until the installation runs, the session's end until the run has ended.
TEST(DownloadFlow, EachStateAcceptsOnlyItsEvents) {
    const FlowState states[] = {FlowState::Starting,  FlowState::Connecting, FlowState::Fetching,
                                FlowState::Finishing, FlowState::Installing, FlowState::Ended};
    const char* const accepted[] = {
        // Begin Decline Connected FileStarted FileDone DownloadOver Quit Tray Suspend Session
        "1100001111",  // Starting
        "0010001111",  // Connecting
        "0001101111",  // Fetching
        "0000011111",  // Finishing
        "0000000001",  // Installing
        "0000000000",  // Ended
    };
    for (size_t s = 0; s < sizeof states / sizeof states[0]; ++s) {
        std::string row;
        for (int e = 0; e <= static_cast<int>(FlowEvent::SessionEnding); ++e)
            row += DownloadFlow::Accepts(states[s], static_cast<FlowEvent>(e)) ? '1' : '0';
        EXPECT_EQ(accepted[s], row) << static_cast<int>(states[s]);
    }
}

TEST(DownloadFlow, RemotePathNamesTheFileOnlyForFtp) {
    struct Case {
        ProtocolKind protocol;
        const char* sourceDir;
        bool fits;
        const char* remote;
    };
    const std::string deep(258, 'd');
    const Case cases[] = {
        {ProtocolHttp, "pub", true, "pub/"},
        {ProtocolFtp, "pub", true, "pub/f.bin"},
        {ProtocolFtp, "", true, ""},
        {ProtocolHttp, deep.c_str(), true, nullptr},
        {ProtocolFtp, deep.c_str(), false, nullptr},
    };
    for (const Case& c : cases) {
        char out[260];
        EXPECT_EQ(c.fits, RemotePath(c.protocol, c.sourceDir, "f.bin", out)) << c.sourceDir;
        if (c.remote != nullptr) {
            EXPECT_STREQ(c.remote, out);
        }
    }
}
