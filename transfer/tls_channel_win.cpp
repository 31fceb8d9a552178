// SChannel through SSPI and the server's certificate through crypt32, both loaded from
// the system folder when a secure connection is first made: a system without them
// still starts the installer and downloads over plain http.
#define SECURITY_WIN32
// The newer credential form (TLS 1.3) is declared only under this name.
#define SCHANNEL_USE_BLACKLISTS
#include "transfer/tls_channel_win.h"

#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <string.h>

#include <new>

#include "shell/system_libraries_win.h"
#include "transfer/http_request.h"
#include "transfer/sspi_library_win.h"

namespace {

// Received records: the largest record (16 KiB of data and 2 KiB of expansion) with
// room to spare for a server's whole first flight of handshake messages.
const int recordsSize = 64 * 1024;
const int hostNameSize = 256;

const DWORD contextRequirements = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// The protocols below TLS 1.2, never offered.
const DWORD protocolsBelowTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

typedef BOOL(WINAPI* GetChainProc)(HCERTCHAINENGINE, PCCERT_CONTEXT, LPFILETIME, HCERTSTORE,
                                   PCERT_CHAIN_PARA, DWORD, LPVOID, PCCERT_CHAIN_CONTEXT*);
typedef BOOL(WINAPI* VerifyPolicyProc)(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA,
                                       PCERT_CHAIN_POLICY_STATUS);
typedef VOID(WINAPI* FreeChainProc)(PCCERT_CHAIN_CONTEXT);
typedef BOOL(WINAPI* FreeCertificateProc)(PCCERT_CONTEXT);

}  // namespace

struct TlsChannel::Security {
    HMODULE sspiLibrary = nullptr;
    HMODULE cryptLibrary = nullptr;
    PSecurityFunctionTableA sspi = nullptr;
    GetChainProc getChain = nullptr;
    VerifyPolicyProc verifyPolicy = nullptr;
    FreeChainProc freeChain = nullptr;
    FreeCertificateProc freeCertificate = nullptr;
    CredHandle credentials = {};
    bool credentialsValid = false;
    CtxtHandle context = {};
};

TlsChannel::TlsChannel() {}

TlsChannel::~TlsChannel() {
    Close(nullptr);
    if (security != nullptr) {
        if (security->credentialsValid)
            security->sspi->FreeCredentialsHandle(&security->credentials);
        if (security->sspiLibrary != nullptr) FreeLibrary(security->sspiLibrary);
        if (security->cryptLibrary != nullptr) FreeLibrary(security->cryptLibrary);
        HeapFree(GetProcessHeap(), 0, security);
    }
    if (records != nullptr) HeapFree(GetProcessHeap(), 0, records);
    if (outgoing != nullptr) HeapFree(GetProcessHeap(), 0, outgoing);
}

// The SSPI table (secur32, or security on the oldest systems) and the chain functions.
bool TlsChannel::LoadInterface() {
    if (security != nullptr) return security->sspi != nullptr && security->getChain != nullptr;
    // From the process heap, as the records are: the library's operator new would bring
    // its exception and thread support into the image.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Security));
    if (memory == nullptr) return false;
    security = new (memory) Security();
    Security& s = *security;
    s.sspi = LoadSecurityInterface(s.sspiLibrary);
    s.cryptLibrary = LoadSystemLibrary("crypt32.dll");
    if (s.cryptLibrary == nullptr ||
        !FindExport(s.cryptLibrary, "CertGetCertificateChain", s.getChain) ||
        !FindExport(s.cryptLibrary, "CertVerifyCertificateChainPolicy", s.verifyPolicy) ||
        !FindExport(s.cryptLibrary, "CertFreeCertificateChain", s.freeChain) ||
        !FindExport(s.cryptLibrary, "CertFreeCertificateContext", s.freeCertificate))
        s.getChain = nullptr;
    return s.sspi != nullptr && s.getChain != nullptr;
}

// TLS 1.2 and later, the certificate left to CheckConnection. Systems that know TLS 1.3
// take it only through the newer credential structure; those that do not refuse that
// structure, or a request for 1.3 in the older one: each is asked in turn.
bool TlsChannel::AcquireCredentials() {
    Security& s = *security;
    if (s.credentialsValid) return true;
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TLS_PARAMETERS parameters = {};
    parameters.grbitDisabledProtocols = protocolsBelowTls12;
    SCH_CREDENTIALS current = {};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SCHANNEL_CRED older = {};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    const DWORD olderProtocols[] = {SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT,
                                    SP_PROT_TLS1_2_CLIENT};
    char provider[] = UNISP_NAME_A;
    TimeStamp expiry;
    if (s.sspi->AcquireCredentialsHandleA(nullptr, provider, SECPKG_CRED_OUTBOUND, nullptr,
                                          &current, nullptr, nullptr, &s.credentials,
                                          &expiry) == SEC_E_OK) {
        s.credentialsValid = true;
        return true;
    }
    for (DWORD protocols : olderProtocols) {
        older.grbitEnabledProtocols = protocols;
        if (s.sspi->AcquireCredentialsHandleA(nullptr, provider, SECPKG_CRED_OUTBOUND, nullptr,
                                              &older, nullptr, nullptr, &s.credentials,
                                              &expiry) == SEC_E_OK) {
            s.credentialsValid = true;
            return true;
        }
    }
    return false;
}

int TlsChannel::Open(TlsTransport& transport, const char* host) {
    Close(nullptr);
    refusal = TlsRefusal::None;
    if (records == nullptr)
        records = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, recordsSize));
    if (records == nullptr) return httpError;
    if (!LoadInterface() || !AcquireCredentials()) {
        refusal = TlsRefusal::Unavailable;
        return httpTlsRefused;
    }
    int result = Handshake(transport, host);
    if (result != httpOk) {
        Close(nullptr);
        return result;
    }
    refusal = CheckConnection(host);
    if (refusal != TlsRefusal::None) {
        Close(&transport);
        return httpTlsRefused;
    }
    return httpOk;
}

// The client's side of the handshake: each token goes out, the server's answer comes
// in until the context is complete. What arrived after the last handshake message
// stays in records for the first Decrypt.
int TlsChannel::Handshake(TlsTransport& transport, const char* host) {
    Security& s = *security;
    char target[hostNameSize];
    if (!CopyText(target, host)) {
        refusal = TlsRefusal::WrongName;
        return httpTlsRefused;
    }
    encryptedLength = 0;
    for (bool first = true;;) {
        SecBuffer input[2] = {{static_cast<ULONG>(encryptedLength), SECBUFFER_TOKEN, records},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDescription = {SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, output};
        ULONG attributes = 0;
        SECURITY_STATUS status = s.sspi->InitializeSecurityContextA(
            &s.credentials, first ? nullptr : &s.context, target, contextRequirements, 0, 0,
            first ? nullptr : &inputDescription, 0, &s.context, &outputDescription, &attributes,
            nullptr);
        if (first && !FAILED(status)) contextValid = true;
        int sent = 0;
        if (output[0].pvBuffer != nullptr) {
            if (status != SEC_E_INCOMPLETE_MESSAGE && output[0].cbBuffer > 0)
                sent = transport.SendAll(static_cast<const char*>(output[0].pvBuffer),
                                         static_cast<int>(output[0].cbBuffer));
            s.sspi->FreeContextBuffer(output[0].pvBuffer);
        }
        if (sent < 0) return sent;
        if (status != SEC_E_INCOMPLETE_MESSAGE) {
            if (FAILED(status) || (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED)) {
                // The server's alert or answer ended the handshake: no protocol, cipher or
                // certificate exchange both sides accept (a server asking for a
                // certificate of ours included).
                refusal = TlsRefusal::NoAgreement;
                return httpTlsRefused;
            }
            if (!first && input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0) {
                memmove(records, records + encryptedLength - input[1].cbBuffer, input[1].cbBuffer);
                encryptedLength = static_cast<int>(input[1].cbBuffer);
            } else {
                encryptedLength = 0;
            }
            first = false;
            if (status == SEC_E_OK) return httpOk;
            if (encryptedLength > 0) continue;
        }
        if (encryptedLength >= recordsSize) {
            refusal = TlsRefusal::NoAgreement;
            return httpTlsRefused;
        }
        int received =
            transport.ReceiveSome(records + encryptedLength, recordsSize - encryptedLength);
        if (received < 0) return received;
        // Gone in the middle of the handshake: the road may be at fault, not the server.
        if (received == 0) return httpError;
        encryptedLength += received;
    }
}

// The server's certificate for host, through a chain to the system's roots built with
// chainFlags, and the SSL policy.
TlsRefusal TlsChannel::JudgeCertificate(const void* serverCertificate, const char* host,
                                        unsigned long chainFlags) {
    Security& s = *security;
    PCCERT_CONTEXT certificate = static_cast<PCCERT_CONTEXT>(serverCertificate);
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainParameters = {};
    chainParameters.cbSize = sizeof chainParameters;
    chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainParameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The server's intermediates came with its certificate, in the certificate's store.
    if (!s.getChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainParameters,
                    chainFlags, nullptr, &chain) ||
        chain == nullptr)
        return TlsRefusal::Untrusted;

    WCHAR wideHost[hostNameSize];
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = wideHost;
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    BOOL checked = MultiByteToWideChar(CP_ACP, 0, host, -1, wideHost, hostNameSize) > 0 &&
                   s.verifyPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status);
    DWORD chainStatus = chain->TrustStatus.dwErrorStatus;
    s.freeChain(chain);
    if (!checked) return TlsRefusal::Untrusted;
    return JudgeServerCertificate(chainStatus, status.dwError);
}

// Before any byte of the request: the protocol agreed on, the server's certificate for
// host, and the sizes of the records to come.
TlsRefusal TlsChannel::CheckConnection(const char* host) {
    Security& s = *security;
    SecPkgContext_ConnectionInfo connection = {};
    if (s.sspi->QueryContextAttributesA(&s.context, SECPKG_ATTR_CONNECTION_INFO, &connection) !=
            SEC_E_OK ||
        !IsAcceptedTlsProtocol(connection.dwProtocol))
        return TlsRefusal::NoAgreement;

    PCCERT_CONTEXT certificate = nullptr;
    if (s.sspi->QueryContextAttributesA(&s.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                        &certificate) != SEC_E_OK ||
        certificate == nullptr)
        return TlsRefusal::Untrusted;
    // A policy that meets a revocation server it cannot reach may stop before the name
    // (seen under Wine): trust, dates and name are judged on a chain built without
    // revocation, and revocation on a second chain.
    TlsRefusal verdict = JudgeCertificate(certificate, host, 0);
    if (verdict == TlsRefusal::None)
        verdict =
            JudgeCertificate(certificate, host, CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT);
    security->freeCertificate(certificate);
    if (verdict != TlsRefusal::None) return verdict;

    SecPkgContext_StreamSizes sizes = {};
    if (s.sspi->QueryContextAttributesA(&s.context, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK)
        return TlsRefusal::NoAgreement;
    if (outgoing == nullptr || sizes.cbHeader != headerSize || sizes.cbTrailer != trailerSize ||
        sizes.cbMaximumMessage != maximumMessage) {
        if (outgoing != nullptr) HeapFree(GetProcessHeap(), 0, outgoing);
        headerSize = sizes.cbHeader;
        trailerSize = sizes.cbTrailer;
        maximumMessage = sizes.cbMaximumMessage;
        outgoing = static_cast<char*>(
            HeapAlloc(GetProcessHeap(), 0, headerSize + maximumMessage + trailerSize));
    }
    return outgoing != nullptr ? TlsRefusal::None : TlsRefusal::Unavailable;
}

void TlsChannel::Close(TlsTransport* transport) {
    if (contextValid && transport != nullptr) {
        // Our close_notify: best effort, the response is complete already.
        Security& s = *security;
        DWORD shutdown = SCHANNEL_SHUTDOWN;
        SecBuffer token = {sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
        SecBufferDesc tokenDescription = {SECBUFFER_VERSION, 1, &token};
        if (s.sspi->ApplyControlToken(&s.context, &tokenDescription) == SEC_E_OK) {
            SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, output};
            ULONG attributes = 0;
            char target[] = "";
            SECURITY_STATUS status = s.sspi->InitializeSecurityContextA(
                &s.credentials, &s.context, target, contextRequirements, 0, 0, nullptr, 0,
                &s.context, &outputDescription, &attributes, nullptr);
            if (output[0].pvBuffer != nullptr) {
                if (!FAILED(status) && output[0].cbBuffer > 0)
                    (void)transport->SendAll(static_cast<const char*>(output[0].pvBuffer),
                                             static_cast<int>(output[0].cbBuffer));
                s.sspi->FreeContextBuffer(output[0].pvBuffer);
            }
        }
    }
    if (contextValid) security->sspi->DeleteSecurityContext(&security->context);
    contextValid = false;
    Reset();
}

void TlsChannel::Reset() {
    encryptedLength = plainLength = extraLength = 0;
    plain = extra = nullptr;
    needMore = false;
}

int TlsChannel::Send(TlsTransport& transport, const char* data, int length) {
    if (!contextValid) return httpError;
    Security& s = *security;
    for (int done = 0; done < length;) {
        int piece = length - done;
        if (static_cast<unsigned long>(piece) > maximumMessage)
            piece = static_cast<int>(maximumMessage);
        memcpy(outgoing + headerSize, data + done, static_cast<size_t>(piece));
        SecBuffer buffers[4] = {
            {headerSize, SECBUFFER_STREAM_HEADER, outgoing},
            {static_cast<ULONG>(piece), SECBUFFER_DATA, outgoing + headerSize},
            {trailerSize, SECBUFFER_STREAM_TRAILER, outgoing + headerSize + piece},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        if (s.sspi->EncryptMessage(&s.context, 0, &description, 0) != SEC_E_OK) return httpError;
        int total =
            static_cast<int>(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        int sent = transport.SendAll(outgoing, total);
        if (sent < 0) return sent;
        done += piece;
    }
    return length;
}

int TlsChannel::Take(char* buffer, int size) {
    int count = plainLength < size ? plainLength : size;
    if (count <= 0) return 0;
    memcpy(buffer, plain, static_cast<size_t>(count));
    plain += count;
    plainLength -= count;
    if (plainLength == 0) KeepExtra();
    return count;
}

// The record is used up: what came after it moves to the front.
void TlsChannel::KeepExtra() {
    if (extraLength > 0) memmove(records, extra, static_cast<size_t>(extraLength));
    encryptedLength = extraLength;
    extraLength = 0;
    plain = extra = nullptr;
}

TlsChannel::DecryptResult TlsChannel::Decrypt() {
    if (plainLength > 0) return Decrypted;
    if (!contextValid) return DecryptFailed;
    if (encryptedLength == 0) {
        needMore = true;
        return NeedMore;
    }
    const bool alert = StartsAlertRecord(reinterpret_cast<const unsigned char*>(records),
                                         static_cast<size_t>(encryptedLength));
    SecBuffer buffers[4] = {{static_cast<ULONG>(encryptedLength), SECBUFFER_DATA, records},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status =
        security->sspi->DecryptMessage(&security->context, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        needMore = true;
        return NeedMore;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) return PeerClosed;
    // A renegotiation (SEC_I_RENEGOTIATE) is not taken part in: the download fails.
    if (status != SEC_E_OK) return DecryptFailed;
    plain = extra = nullptr;
    plainLength = extraLength = 0;
    for (int i = 1; i < 4; ++i) {
        if (buffers[i].BufferType == SECBUFFER_DATA) {
            plain = static_cast<char*>(buffers[i].pvBuffer);
            plainLength = static_cast<int>(buffers[i].cbBuffer);
        } else if (buffers[i].BufferType == SECBUFFER_EXTRA) {
            extra = static_cast<char*>(buffers[i].pvBuffer);
            extraLength = static_cast<int>(buffers[i].cbBuffer);
            // Some systems point the extra buffer nowhere: it is the end of the input.
            if (extra == nullptr) extra = records + encryptedLength - extraLength;
        }
    }
    if (plainLength > 0) return Decrypted;
    // A record without data: the peer's close_notify where it was an alert (some systems
    // report it as success), else a record to pass over.
    if (alert) return PeerClosed;
    KeepExtra();
    return Decrypted;
}

char* TlsChannel::ReceiveSpace(int& room) {
    room = recordsSize - encryptedLength;
    return records + encryptedLength;
}

void TlsChannel::Received(int count) {
    encryptedLength += count;
    needMore = false;
}
