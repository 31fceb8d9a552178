// The ftp worker: host lookup of the site and the log-in values.
#include "transfer/ftp_worker_win.h"

#include "transfer/messages_win.h"

const char ftpAnonymousUser[] = "anonymous";
// The anonymous password by custom is an e-mail address identifying the client.
const char ftpAnonymousPassword[] = "installer@corvane.invalid";

FtpWorker::FtpWorker() {
    CopyText(user, ftpAnonymousUser);
    CopyText(password, ftpAnonymousPassword);
}

LRESULT FtpWorker::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = TransferWorker::WindowProc(message, wParam, lParam);
    if (message == msgDli1 && state == RESOLVING_NAME) {
        if (hostResolved == 0) {
            state = NOT_CONNECTED;
            Report(msgDl1, TransferLookupFailed, 0);
        } else {
            state = CONNECTED;
            Report(msgDl1, TransferOk, 0);
        }
    }
    return result;
}

int FtpWorker::Connect(const char* site, const char*, const char*) {
    if (state != NOT_CONNECTED) Disconnect();
    state = RESOLVING_NAME;
    if (ResolveHost(site) == 0) {
        // No "dli1" will come: report at once, or the controller would wait for ever.
        state = NOT_CONNECTED;
        Report(msgDl1, TransferLookupFailed, 0);
        return 0;
    }
    return 1;
}

int FtpWorker::Disconnect() {
    state = NOT_CONNECTED;
    return 0;
}

int FtpWorker::RequestFile(const char*, const char*) { return 0; }

void FtpWorker::SetLogin(const char* newUser, const char* newPassword) {
    // A description without log-in values means an anonymous login.
    CopyText(user, newUser[0] != '\0' ? newUser : ftpAnonymousUser);
    CopyText(password, newPassword[0] != '\0' ? newPassword : ftpAnonymousPassword);
}

void FtpWorker::OnReply(const char*) {}
