// The ftp worker: the control connection and its login, the data connection of each
// file, the local file, and the reports to the controller.
#include "transfer/ftp_worker_win.h"

#include "common/run_log_win.h"

#include <limits.h>

#include "shell/directories_win.h"
#include "transfer/messages_win.h"

const char ftpAnonymousUser[] = "anonymous";
// The anonymous password by custom is an e-mail address identifying the client.
const char ftpAnonymousPassword[] = "installer@corvane.invalid";

namespace {

const UINT_PTR replyTimerId = 1;
const UINT_PTR dataTimerId = 2;
const long controlEvents = FD_READ | FD_CONNECT | FD_CLOSE;
const long listenEvents = FD_ACCEPT | FD_CLOSE;
const long passiveDataEvents = FD_READ | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
const long activeDataEvents = FD_READ | FD_ACCEPT | FD_CLOSE;

void CloseSocket(SOCKET* socket) {
    if (*socket == INVALID_SOCKET) return;
    closesocket(*socket);
    *socket = INVALID_SOCKET;
}

}  // namespace

FtpWorker::FtpWorker(unsigned short controlPort) : controlPort(controlPort) {
    CopyText(user, ftpAnonymousUser);
    CopyText(password, ftpAnonymousPassword);
}

FtpWorker::~FtpWorker() { FtpWorker::Disconnect(); }

LRESULT FtpWorker::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = TransferWorker::WindowProc(message, wParam, lParam);
    // Events of a socket that has been closed meanwhile may still be queued: only those
    // of the sockets in use count.
    SOCKET socket = static_cast<SOCKET>(wParam);
    WORD event = WSAGETSELECTEVENT(lParam);
    WORD error = WSAGETSELECTERROR(lParam);
    if (message == msgHostLookupDone) {
        if (state == FtpState::AwaitingHostLookup) LookupFinished();
    } else if (message == msgFtpControlEvent) {
        if (socket != INVALID_SOCKET && socket == controlSocket) OnControlEvent(event, error);
    } else if (message == msgFtpListenEvent) {
        if (socket != INVALID_SOCKET && socket == listenSocket) OnListenEvent(event);
    } else if (message == msgFtpDataEvent) {
        if (socket != INVALID_SOCKET && socket == dataSocket) OnDataEvent(event, error);
    } else if (message == WM_TIMER && wParam == replyTimerId) {
        KillTimer(windowHandle, replyTimerId);
        if (ReplyAwaited()) Fail();
    } else if (message == WM_TIMER && wParam == dataTimerId) {
        OnDataWindow();
    }
    return result;
}

int FtpWorker::Connect(const char* site, const char*, const char*) {
    if (state != FtpState::NotConnected) Disconnect();
    state = FtpState::AwaitingHostLookup;
    if (ResolveHost(site) == 0) {
        // No "dli1" will come: report at once, or the controller would wait for ever.
        state = FtpState::NotConnected;
        Report(msgConnected, TransferLookupFailed, 0);
        return 0;
    }
    return 1;
}

void FtpWorker::LookupFinished() {
    const hostent* entry = reinterpret_cast<const hostent*>(hostEntryBuffer);
    if (hostResolved == 0 || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        state = FtpState::NotConnected;
        LogEvent("ftp: the host was not found (error %d)", WSAGetLastError());
        Report(msgConnected, TransferLookupFailed, 0);
        return;
    }
    controlSocket = socket(AF_INET, SOCK_STREAM, 0);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (controlSocket == INVALID_SOCKET ||
        bind(controlSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        WSAAsyncSelect(controlSocket, windowHandle, msgFtpControlEvent, controlEvents) != 0) {
        CloseSocket(&controlSocket);
        state = FtpState::NotConnected;
        Report(msgConnected, TransferSocketFailed, 0);
        return;
    }
    memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
    address.sin_port = htons(controlPort);
    replyLength = 0;
    state = FtpState::AwaitingConnection;
    LogEvent("ftp: connecting to %s port %u", inet_ntoa(address.sin_addr),
             static_cast<unsigned>(controlPort));
    if (connect(controlSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        LogEvent("ftp: no connection (error %d)", WSAGetLastError());
        Disconnect();
        Report(msgConnected, TransferLoginFailed, 0);
        return;
    }
    AwaitReply();
}

int FtpWorker::Disconnect() {
    int wasConnected = state != FtpState::NotConnected ? 1 : 0;
    CloseSocket(&controlSocket);
    DropQueued(msgFtpControlEvent);
    CloseData();
    itemActive = false;
    pendingEnds = 0;
    replyLength = 0;
    state = FtpState::NotConnected;
    if (windowHandle != nullptr) KillTimer(windowHandle, replyTimerId);
    return wasConnected;
}

int FtpWorker::RequestFile(const char* remote, const char* local) {
    if (state != FtpState::LoggedIn || controlSocket == INVALID_SOCKET) return 0;
    // A path that does not fit, or that holds a line break, would fetch another file.
    char command[ftpCommandSize];
    if (!CopyText(remotePath, remote) ||
        FormatFtpCommand("RETR", remotePath, command, sizeof command) < 0)
        return 0;
    CloseData();
    bytesReceived = 0;
    if (!CopyText(localName, local)) return 0;
    localPath = local;
    if (strchr(localPath, '\\') != nullptr) CreateParentDirectories(localPath);
    localFile = CreateFileA(localPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    localPath = nullptr;
    if (localFile == INVALID_HANDLE_VALUE) {
        // Said at once, so that the user learns why (a full disk, or the file in use).
        Report(msgFileDone, LocalWriteResult(GetLastError()), 0);
        return 1;
    }
    itemActive = true;
    sizeReported = false;
    announcedSize = -1;
    pendingEnds = 0;
    state = FtpState::AwaitingPassiveReply;
    if (!SendFormatted("PASV", nullptr)) {
        // The control connection is broken; nothing was started.
        Disconnect();
        return 0;
    }
    return 1;
}

void FtpWorker::SetLogin(const char* newUser, const char* newPassword) {
    // Both as given, empty ones included: an anonymous login names "anonymous" itself.
    CopyText(user, newUser);
    CopyText(password, newPassword);
}

void FtpWorker::OnControlEvent(WORD event, WORD error) {
    if (event == FD_CONNECT) {
        if (state != FtpState::AwaitingConnection) return;
        if (error != 0) {
            LogEvent("ftp: no connection (error %u)", static_cast<unsigned>(error));
            Disconnect();
            Report(msgConnected, TransferLoginFailed, 0);
            return;
        }
        LogEvent("ftp: connected");
        state = FtpState::AwaitingGreeting;  // the greeting drives the login from here
        AwaitReply();
    } else if (event == FD_READ) {
        ReceiveReplies();
    } else if (event == FD_CLOSE) {
        // What the server said before it hung up comes first.
        ReceiveReplies();
        if (controlSocket == INVALID_SOCKET) return;
        if (LoginRunning() || (itemActive && state != FtpState::LoggedIn)) {
            Fail();
        } else if (itemActive) {
            // The final reply is in and only the data connection is still open: the file
            // may still arrive whole, but no further file can be asked for.
            CloseSocket(&controlSocket);
            state = FtpState::NotConnected;
            replyLength = 0;
        } else {
            Disconnect();
        }
    }
}

// Receives what the control connection holds and hands each complete reply, in order,
// to OnReply. A reply that still is not complete when it fills the whole buffer never
// will be: the login or the transfer fails.
void FtpWorker::ReceiveReplies() {
    const SOCKET socket = controlSocket;
    for (;;) {
        int room = static_cast<int>(sizeof replyBuffer) - replyLength;
        int received = recv(socket, replyBuffer + replyLength, room, 0);
        if (received == 0) break;  // closed: FD_CLOSE follows, or is being handled
        if (received == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) break;
            if (LoginRunning() || itemActive) Fail();
            return;
        }
        replyLength += received;
        size_t length;
        while ((length = FindCompleteReply(replyBuffer, replyLength)) > 0) {
            char reply[ftpReplyBufferSize + 1];
            memcpy(reply, replyBuffer, length);
            reply[length] = '\0';
            replyLength -= static_cast<int>(length);
            memmove(replyBuffer, replyBuffer + length, replyLength);
            OnReply(reply);
            if (controlSocket != socket) return;  // the reply ended the connection
        }
        if (replyLength == static_cast<int>(sizeof replyBuffer)) {
            Fail();
            return;
        }
    }
    SettleReplyTime();
}

bool FtpWorker::SendCommand(const char* text, int length) {
    if (controlSocket == INVALID_SOCKET || send(controlSocket, text, length, 0) != length)
        return false;
    AwaitReply();
    return true;
}

bool FtpWorker::SendFormatted(const char* verb, const char* argument) {
    char command[ftpCommandSize];
    int length = FormatFtpCommand(verb, argument, command, sizeof command);
    return length > 0 && SendCommand(command, length);
}

void FtpWorker::OnReply(const char* reply) {
    LogEvent("ftp: the server says: %s", reply);
    ApplyStep(DecideReply(state, reply), reply);
}

void FtpWorker::ApplyStep(const FtpStep& step, const char* reply) {
    bool sent = true;
    switch (step.command) {
    case FtpSendUser:
        state = step.next;
        sent = SendFormatted("USER", user);
        break;
    case FtpSendPassword:
        state = step.next;
        sent = SendFormatted("PASS", password);
        break;
    case FtpSendType:
        state = step.next;
        sent = SendFormatted("TYPE", "I");
        break;
    case FtpOpenPassive:
    case FtpOpenActive:
        OpenData(step.command == FtpOpenPassive, reply);
        return;
    case FtpSendRetrieve:
        state = step.next;
        pendingEnds = 2;
        sent = SendFormatted("RETR", remotePath);
        break;
    case FtpSendNothing:
        break;
    }
    if (!sent) {
        Fail();
        return;
    }
    switch (step.outcome) {
    case FtpNoOutcome:
        state = step.next;
        break;
    case FtpLoggedIn:
        state = step.next;
        SettleReplyTime();
        Report(msgConnected, TransferOk, 0);
        break;
    case FtpLoginRefused:
        Disconnect();
        Report(msgConnected, TransferLoginFailed, 0);
        break;
    case FtpItemRefused:
        state = step.next;
        if (itemActive)
            FinishItem(msgFileStarted, TransferReceiveFailed, 0);
        else
            CloseData();
        break;
    case FtpItemStarted:
        state = step.next;
        if (!itemActive) break;
        sizeReported = true;
        announcedSize = ParseAnnouncedByteCount(reply);
        Report(msgFileStarted, TransferOk, ParseTransferSize(reply));
        // Data that came before this reply was held back from the progress reports.
        if (itemActive && sizeReported && bytesReceived > 0) Report(msgProgress, 0, bytesReceived);
        if (itemActive && announcedSize >= 0 && bytesReceived > announcedSize)
            FailOverrun();
        else if (itemActive)
            ResumeHeldData();
        break;
    case FtpFinalPositive:
        state = step.next;
        if (itemActive && --pendingEnds <= 0) CompleteItem();
        break;
    case FtpFinalNegative:
        state = step.next;
        if (itemActive)
            FinishItem(msgFileDone, TransferReceiveFailed, 0);
        else
            CloseData();
        break;
    }
}

// The answer to PASV is in: the data side is prepared, and RETR follows at once for a
// passive transfer, after the answer to PORT for an active one.
void FtpWorker::OpenData(bool passive, const char* reply) {
    FtpAddress passiveAddress;
    if (passive) ParsePassiveAddress(reply, &passiveAddress);
    int opened = OpenDataConnection(passive ? &passiveAddress : nullptr);
    if (opened > 0) StartDataWindows();
    if (opened == 0) {
        state = FtpState::LoggedIn;
        FinishItem(msgConnected, TransferLoginFailed, 0);
        return;
    }
    if (opened < 0) {  // the passive connect failed at once
        state = FtpState::LoggedIn;
        FinishItem(msgFileDone, TransferReceiveFailed, 0);
        return;
    }
    if (passive) ApplyStep({FtpState::AwaitingRetrieveReply, FtpSendRetrieve, FtpNoOutcome}, reply);
}

// Returns 1 when the data side is prepared, 0 when a socket operation or PORT failed,
// and -1 when the connect to the passive address failed at once. The data connection
// is made with the server of the control connection only: a passive one goes to its
// address (the reply gives only the port), and an active one listens where the control
// connection ends here, taking the server's connection alone (OnListenEvent).
int FtpWorker::OpenDataConnection(const FtpAddress* passive) {
    sockaddr_in local, peer;
    if (!ControlAddresses(&local, &peer)) return 0;
    SOCKET created = socket(AF_INET, SOCK_STREAM, 0);
    if (created == INVALID_SOCKET) return 0;
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (passive == nullptr) address.sin_addr = local.sin_addr;
    if (bind(created, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(created);
        return 0;
    }
    state = FtpState::AwaitingPortReply;
    if (passive != nullptr) {
        dataSocket = created;
        if (WSAAsyncSelect(dataSocket, windowHandle, msgFtpDataEvent, passiveDataEvents) != 0)
            return 0;
        address.sin_addr = peer.sin_addr;
        address.sin_port = htons(passive->port);
        if (connect(dataSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            return -1;
        return 1;
    }
    listenSocket = created;
    if (WSAAsyncSelect(listenSocket, windowHandle, msgFtpListenEvent, listenEvents) != 0 ||
        listen(listenSocket, 1) != 0)
        return 0;
    FtpAddress own;
    int size = sizeof address;
    if (getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    own.port = ntohs(address.sin_port);
    memcpy(own.host, &local.sin_addr, 4);
    char command[ftpCommandSize];
    int length = FormatPortCommand(own, command, sizeof command);
    return length > 0 && SendCommand(command, length) ? 1 : 0;
}

bool FtpWorker::ControlAddresses(sockaddr_in* local, sockaddr_in* peer) const {
    int localSize = sizeof *local;
    int peerSize = sizeof *peer;
    return controlSocket != INVALID_SOCKET &&
           getsockname(controlSocket, reinterpret_cast<sockaddr*>(local), &localSize) == 0 &&
           getpeername(controlSocket, reinterpret_cast<sockaddr*>(peer), &peerSize) == 0 &&
           local->sin_family == AF_INET && peer->sin_family == AF_INET;
}

void FtpWorker::OnListenEvent(WORD event) {
    if (event != FD_ACCEPT) return;
    sockaddr_in from = {};
    int size = sizeof from;
    SOCKET accepted = accept(listenSocket, reinterpret_cast<sockaddr*>(&from), &size);
    if (accepted == INVALID_SOCKET) return;
    sockaddr_in local, peer;
    if (dataSocket != INVALID_SOCKET || !ControlAddresses(&local, &peer) ||
        size < static_cast<int>(sizeof from) || from.sin_addr.s_addr != peer.sin_addr.s_addr) {
        // Anyone but the server: turned away, and the server's connection still awaited.
        closesocket(accepted);
        return;
    }
    dataSocket = accepted;
    WSAAsyncSelect(dataSocket, windowHandle, msgFtpDataEvent, activeDataEvents);
    // One data connection per file: nobody else gets in once the server has connected.
    CloseSocket(&listenSocket);
    DropQueued(msgFtpListenEvent);
}

void FtpWorker::OnDataEvent(WORD event, WORD error) {
    if (event == FD_CONNECT) {
        if (error != 0) {
            // The answer to RETR still follows on the control connection, quietly.
            if (itemActive)
                FinishItem(msgFileDone, TransferReceiveFailed, 0);
            else
                CloseData();
            return;
        }
    } else if (event == FD_READ) {
        if (error != 0) {
            if (itemActive)
                FinishItem(msgFileDone, TransferReceiveFailed, 0);
            else
                CloseData();
            return;
        }
        ReadData();
    } else if (event == FD_CLOSE) {
        ReadData();                                // what is left before the close
        if (dataSocket == INVALID_SOCKET) return;  // reading failed and ended the file
        if (dataHeld) {
            closeHeld = true;  // the rest is read, and the close handled, after the 150
            return;
        }
        CloseData();
        if (itemActive && --pendingEnds <= 0) {
            CompleteItem();
            if (state == FtpState::NotConnected) Disconnect();  // the control connection had gone
            return;
        }
        // The data is in: from here the final reply has its time.
        if (ReplyAwaited()) AwaitReply();
    }
}

void FtpWorker::ReadData() {
    char block[ftpDataBlockSize];
    while (dataSocket != INVALID_SOCKET) {
        // Until the server has said how much comes, what it sends waits in the connection.
        if (!sizeReported &&
            static_cast<size_t>(bytesReceived) + sizeof block > ftpEarlyDataLimit) {
            dataHeld = true;
            return;
        }
        int received = recv(dataSocket, block, sizeof block, 0);
        if (received == 0) return;  // the close event follows
        if (received == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) break;
            if (itemActive)
                FinishItem(msgFileDone, TransferReceiveFailed, 0);
            else
                CloseData();
            return;
        }
        windowBytes = windowBytes > MAXDWORD - static_cast<DWORD>(received)
                          ? MAXDWORD
                          : windowBytes + static_cast<DWORD>(received);
        if (announcedSize >= 0 && received > announcedSize - bytesReceived) {
            // Longer than announced: the rest is not written.
            if (itemActive)
                FailOverrun();
            else
                CloseData();
            return;
        }
        DWORD written = 0;
        bool wrote = localFile != INVALID_HANDLE_VALUE &&
                     WriteFile(localFile, block, static_cast<DWORD>(received), &written, nullptr);
        if (!wrote || written != static_cast<DWORD>(received)) {
            // A write that took only part of the block without an error: the disk is full.
            DWORD error = wrote ? static_cast<DWORD>(ERROR_DISK_FULL) : GetLastError();
            if (itemActive)
                FinishItem(msgFileDone, LocalWriteResult(error), 0);
            else
                CloseData();
            return;
        }
        bytesReceived = bytesReceived > INT_MAX - received ? INT_MAX : bytesReceived + received;
        if (itemActive && sizeReported) Report(msgProgress, 0, bytesReceived);
    }
}

void FtpWorker::CloseFile() {
    if (localFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(localFile);
    localFile = INVALID_HANDLE_VALUE;
}

void FtpWorker::ResumeHeldData() {
    if (!dataHeld) return;
    dataHeld = false;
    ReadData();
    if (closeHeld && dataSocket != INVALID_SOCKET) OnDataEvent(FD_CLOSE, 0);
    closeHeld = false;
}

void FtpWorker::FailOverrun() {
    CloseData();
    (void)DeleteFileA(localName);  // a file that is not what was announced is no download
    FinishItem(msgFileDone, TransferReceiveFailed, 0);
}

void FtpWorker::CloseData() {
    dataHeld = false;
    closeHeld = false;
    if (windowHandle != nullptr) KillTimer(windowHandle, dataTimerId);
    CloseFile();
    CloseSocket(&dataSocket);
    DropQueued(msgFtpDataEvent);
    CloseSocket(&listenSocket);
    DropQueued(msgFtpListenEvent);
}

// Ends the current file with its one last report. Everything is closed and settled
// first: the controller's handler runs inside the report and may ask for the next file.
void FtpWorker::FinishItem(UINT message, WPARAM code, LPARAM value) {
    CloseData();
    itemActive = false;
    pendingEnds = 0;
    SettleReplyTime();
    Report(message, code, value);
}

void FtpWorker::CompleteItem() {
    bool whole = announcedSize < 0 || bytesReceived == announcedSize;
    FinishItem(msgFileDone, whole ? TransferOk : TransferReceiveFailed, 0);
}

void FtpWorker::Fail() {
    bool login = LoginRunning();
    bool item = itemActive;
    Disconnect();
    if (login)
        Report(msgConnected, TransferLoginFailed, 0);
    else if (item)
        Report(msgFileDone, TransferReceiveFailed, 0);
}

bool FtpWorker::ReplyAwaited() const {
    if (LoginRunning()) return true;
    if (!itemActive || state <= FtpState::LoggedIn) return false;
    return state != FtpState::Transferring || !DataOpen();
}

void FtpWorker::AwaitReply() {
    if (windowHandle != nullptr)
        SetTimer(windowHandle, replyTimerId, timeouts.replyMilliseconds, nullptr);
}

void FtpWorker::SettleReplyTime() {
    if (windowHandle != nullptr && !ReplyAwaited()) KillTimer(windowHandle, replyTimerId);
}

void FtpWorker::StartDataWindows() {
    windowBytes = 0;
    SetTimer(windowHandle, dataTimerId, timeouts.dataWindowMilliseconds, nullptr);
}

void FtpWorker::OnDataWindow() {
    if (!itemActive || !DataOpen()) {
        KillTimer(windowHandle, dataTimerId);
        return;
    }
    bool tooSlow = windowBytes < timeouts.dataWindowBytes;
    windowBytes = 0;
    if (tooSlow) Fail();
}

// Removes the worker's queued events of one kind, so that none of a closed socket is
// handled after the close.
void FtpWorker::DropQueued(UINT message) {
    if (windowHandle == nullptr) return;
    MSG queued;
    while (PeekMessageA(&queued, windowHandle, message, message, PM_REMOVE)) {
    }
}
