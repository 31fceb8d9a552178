// A TLS connection through the platform's SChannel: the handshake, the server's
// certificate checked against the system's trusted roots, and records encrypted and
// decrypted. The channel does no socket calls of its own: the HTTP client moves its
// bytes (TlsTransport for the handshake, ReceiveSpace/Received for data).
#pragma once

#include "common/win32.h"
#include "transfer/tls_policy.h"

// How the channel reaches the peer during the handshake and for what it sends.
class TlsTransport {
public:
    // Sends all of length bytes: length, or a negative result of the HTTP client.
    virtual int SendAll(const char* data, int length) = 0;
    // Waits for and receives at most size bytes: their number, 0 when the peer closed,
    // or a negative result of the HTTP client.
    virtual int ReceiveSome(char* buffer, int size) = 0;

protected:
    ~TlsTransport() = default;
};

class TlsChannel {
public:
    TlsChannel();
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Makes a secure connection with host over transport (already connected, through a
    // tunnel when there is a proxy): the handshake, the negotiated protocol and the
    // server's certificate for host. httpOk; httpTlsRefused with Refusal() saying why;
    // httpError or httpTimeout when the peer went silent or away (a network failure).
    int Open(TlsTransport& transport, const char* host);
    // Ends the secure connection: a close_notify to the peer where possible. The channel
    // can then Open another.
    void Close(TlsTransport* transport);
    bool IsOpen() const { return contextValid; }
    TlsRefusal Refusal() const { return refusal; }

    // Encrypts data and sends it through transport: length, or a negative result.
    int Send(TlsTransport& transport, const char* data, int length);

    // Receiving: Take copies decrypted bytes that wait; Decrypt turns received bytes into
    // them. Received bytes go into ReceiveSpace (room: how many fit), then Received.
    int Take(char* buffer, int size);
    enum DecryptResult { Decrypted, NeedMore, PeerClosed, DecryptFailed };
    DecryptResult Decrypt();
    char* ReceiveSpace(int& room);
    void Received(int count);
    // Decrypted bytes wait, or received bytes not yet decrypted: the socket need not be
    // waited for before the next Take.
    bool HasPending() const { return plainLength > 0 || (encryptedLength > 0 && !needMore); }

private:
    bool LoadInterface();
    bool AcquireCredentials();
    int Handshake(TlsTransport& transport, const char* host);
    TlsRefusal CheckConnection(const char* host);
    TlsRefusal JudgeCertificate(const void* serverCertificate, const char* host,
                                unsigned long chainFlags);
    void Reset();
    void KeepExtra();

    struct Security;
    Security* security = nullptr;  // the system's SSPI table and our handles
    bool contextValid = false;
    TlsRefusal refusal = TlsRefusal::None;
    // Received records: encryptedLength bytes from the start of records; once decrypted,
    // plain points into it at plainLength bytes not yet taken, and the bytes after the
    // record (extraLength) wait at extra.
    char* records = nullptr;
    int encryptedLength = 0;
    char* plain = nullptr;
    int plainLength = 0;
    char* extra = nullptr;
    int extraLength = 0;
    bool needMore = false;     // the received bytes end inside a record
    char* outgoing = nullptr;  // one encrypted record to send
    unsigned long headerSize = 0;
    unsigned long trailerSize = 0;
    unsigned long maximumMessage = 0;
};
