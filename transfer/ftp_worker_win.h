// The worker for ftp components. It runs on the user-interface thread and never
// blocks: WinSock announces every socket event through WSAAsyncSelect as "dlftp1"
// (control), "dlftp2" (listening) and "dlftp3" (data) at the hidden window. One login
// per site; each file then comes in image mode over its own data connection, passive
// where the server offers it and active (PORT) otherwise, and is written to the local
// file block by block. The reply decisions live in ftp_reply.h.
#pragma once

#include "common/limits.h"
#include "common/win32.h"
#include "transfer/ftp_reply.h"
#include "transfer/transfer_worker_win.h"

constexpr size_t ftpLoginSize = 100;
extern const char ftpAnonymousUser[];
extern const char ftpAnonymousPassword[];

// The time limits that keep a hanging or trickling server from holding a transfer for
// ever.
struct FtpTimeouts {
    // A complete reply within this time of the command (or connection) that asked for
    // it; preliminary replies and parts of a reply do not extend it.
    DWORD replyMilliseconds;
    // While a file's data connection is open, every window of this length...
    DWORD dataWindowMilliseconds;
    // ...brings at least this many bytes (a silent connection brings none).
    DWORD dataWindowBytes;
};
// 4 KiB a minute: far below the slowest modem, far above a byte now and then.
constexpr FtpTimeouts ftpTimeouts = {40000, 60000, 4096};

class FtpWorker : public TransferWorker {
public:
    // controlPort: the server's port for every site; the installer's is ftpControlPort
    // (21), tests use servers on unprivileged ports.
    explicit FtpWorker(unsigned short controlPort = ftpControlPort);
    // Closes whatever is still open, so that no socket outlives the worker.
    ~FtpWorker();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Connect(const char* site, const char* proxy, const char* port) override;
    int Disconnect() override;
    // 0 (nothing started, nothing reported) when not logged in or when the remote path
    // cannot be asked for. A local file that cannot be created is reported at once with
    // "dl4" (a full disk, or not writable) and counts as handled: 1.
    int RequestFile(const char* remotePath, const char* localPath) override;
    void SetLogin(const char* user, const char* password) override;
    // The reply state machine: one complete reply, continuation lines included.
    virtual void OnReply(const char* reply);

    // Prepares the data side of one transfer: connects to passive, or listens and sends
    // PORT when passive is null. 1 when prepared, 0 when it failed.
    int OpenDataConnection(const FtpAddress* passive);
    // Moves what the data connection holds into the local file.
    void ReadData();
    // Ends the data side: the local file, both data sockets, their queued events.
    void CloseData();

    const unsigned short controlPort;
    FtpState state = FtpState::NotConnected;
    SOCKET controlSocket = INVALID_SOCKET;
    SOCKET listenSocket = INVALID_SOCKET;
    SOCKET dataSocket = INVALID_SOCKET;
    sockaddr_in address = {};
    char replyBuffer[ftpReplyBufferSize] = {};
    int replyLength = 0;
    char user[ftpLoginSize];
    char password[ftpLoginSize];
    HANDLE localFile = INVALID_HANDLE_VALUE;
    char remotePath[kRemotePathSize] = {};
    const char* localPath = nullptr;
    char localName[260] = {};  // the current file's local path, deleted when it overruns
    int bytesReceived = 0;
    // The byte count the preliminary reply announced, -1 when it gave none. The file
    // must come to exactly this count; nothing beyond it is written.
    int announcedSize = -1;
    // Ends still awaited for the current file: the data connection's close and the
    // server's final reply. Set to 2 when RETR goes out, so that a data connection
    // closing before the preliminary reply is handled still counts.
    int pendingEnds = 0;
    // Set while a requested file has not had its last report ("dl2" 4 or "dl4"); every
    // later event of that file is handled quietly, so the controller hears of it once.
    bool itemActive = false;
    // Whether "dl2" 0 went out for the current file; progress is held back until then.
    bool sizeReported = false;
    // Tests shorten them.
    FtpTimeouts timeouts = ftpTimeouts;
    // Bytes received in the current window of the data connection.
    DWORD windowBytes = 0;
    // Set while the data connection's bytes wait for the preliminary reply
    // (ftpEarlyDataLimit), and when its close came meanwhile.
    bool dataHeld = false;
    bool closeHeld = false;

private:
    void LookupFinished();
    void OnControlEvent(WORD event, WORD error);
    void OnListenEvent(WORD event);
    void OnDataEvent(WORD event, WORD error);
    // Reads on once the preliminary reply has come, and handles a close that came before.
    void ResumeHeldData();
    // The data ran past the announced count: the file fails and is deleted.
    void FailOverrun();
    void ReceiveReplies();
    bool SendCommand(const char* text, int length);
    bool SendFormatted(const char* verb, const char* argument);
    void ApplyStep(const FtpStep& step, const char* reply);
    void OpenData(bool passive, const char* reply);
    // The data side is over: both ends arrived, or it failed with report (a "dl4" code).
    void FinishItem(UINT message, WPARAM code, LPARAM value);
    // Both ends of the file are in: it is complete unless it fell short of its size.
    void CompleteItem();
    // The control connection is lost or hangs: everything is closed, and whoever waits
    // hears of it ("dl1" 3 during the login, "dl4" 4 during a file).
    void Fail();
    bool LoginRunning() const {
        return state >= FtpState::AwaitingConnection && state < FtpState::LoggedIn;
    }
    bool DataOpen() const { return dataSocket != INVALID_SOCKET || listenSocket != INVALID_SOCKET; }
    // Whether a reply is awaited on the control connection: during the login, and for a
    // file until its final reply, except while its data flows.
    bool ReplyAwaited() const;
    // Starts the time of a reply that has just been asked for.
    void AwaitReply();
    // Stops the reply's time once no reply is awaited any more.
    void SettleReplyTime();
    void StartDataWindows();
    // A window of the data connection is over: too few bytes end the transfer.
    void OnDataWindow();
    // The control connection's addresses: its own end, and the server's.
    bool ControlAddresses(sockaddr_in* local, sockaddr_in* peer) const;
    void DropQueued(UINT message);
    void CloseFile();
};
