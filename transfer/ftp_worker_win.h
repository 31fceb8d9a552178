// The worker for ftp components. It runs on the user-interface thread, driven by the
// messages WinSock posts to its hidden window. So far it resolves the site's name and
// reports the outcome as the end of the Connect; logging in and fetching files are not
// built yet, so RequestFile refuses and the controller ends the run.
#pragma once

#include "common/win32.h"
#include "transfer/transfer_worker_win.h"

// Where the connection stands; the numbers are fixed.
enum FtpState {
    NOT_CONNECTED = 0,
    RESOLVING_NAME = 1,
    CONNECTING = 2,
    SEND_USER = 3,
    SEND_PASSWORD = 4,
    SEND_BIN = 5,
    INIT_DONE = 6,
    CONNECTED = 7,
    CHECK_DATA_PORT = 8,
    SEND_GET = 9,
    GET_SIZE = 10,
    XFER = 11,
};

constexpr size_t ftpLoginSize = 100;
extern const char ftpAnonymousUser[];
extern const char ftpAnonymousPassword[];

class FtpWorker : public TransferWorker {
public:
    FtpWorker();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Connect(const char* site, const char* proxy, const char* port) override;
    int Disconnect() override;
    int RequestFile(const char* remotePath, const char* localPath) override;
    void SetLogin(const char* user, const char* password) override;
    // The reply state machine: one complete reply, continuation lines included.
    virtual void OnReply(const char* reply);

    int state = NOT_CONNECTED;
    char user[ftpLoginSize];
    char password[ftpLoginSize];
};
