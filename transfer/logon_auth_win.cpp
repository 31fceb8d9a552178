// NTLM and Negotiate through SSPI (secur32, or security on the oldest systems), loaded
// from the system folder at the first exchange.
#include "transfer/logon_auth_win.h"

#include <string.h>

#include <new>

#include "transfer/base64.h"
#include "transfer/sspi_library_win.h"

namespace {

const size_t maxChallengeBytes = maxChallengeTextLength / 4 * 3;
const size_t accountTextSize = 260;

// An account as SSPI takes it: "DOMAIN\user" names its domain; any other form is the
// user name alone.
struct AccountIdentity {
    char domain[accountTextSize] = {};
    char name[accountTextSize] = {};
    SEC_WINNT_AUTH_IDENTITY_A identity = {};

    bool Set(const char* user, const char* password) {
        const char* backslash = strchr(user, '\\');
        const char* bare = backslash != nullptr ? backslash + 1 : user;
        const size_t domainLength =
            backslash != nullptr ? static_cast<size_t>(backslash - user) : 0;
        if (domainLength >= sizeof domain || !CopyText(name, bare)) return false;
        memcpy(domain, user, domainLength);
        const char* secret = password != nullptr ? password : "";
        identity.User = reinterpret_cast<unsigned char*>(name);
        identity.UserLength = static_cast<unsigned long>(strlen(name));
        identity.Domain = reinterpret_cast<unsigned char*>(domain);
        identity.DomainLength = static_cast<unsigned long>(domainLength);
        identity.Password = reinterpret_cast<unsigned char*>(const_cast<char*>(secret));
        identity.PasswordLength = static_cast<unsigned long>(strlen(secret));
        identity.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
        return true;
    }
};

}  // namespace

struct LogonExchange::Security {
    HMODULE library = nullptr;
    PSecurityFunctionTableA sspi = nullptr;
    unsigned available = 0;
    CredHandle credentials = {};
    bool credentialsValid = false;
    CtxtHandle context = {};
    bool contextValid = false;
    char target[accountTextSize + 8] = {};  // the service name, "HTTP/host"
};

LogonExchange::~LogonExchange() {
    End();
    if (security != nullptr) {
        if (security->library != nullptr) FreeLibrary(security->library);
        HeapFree(GetProcessHeap(), 0, security);
    }
}

// From the process heap: the library's operator new would bring exception support.
bool LogonExchange::Load() {
    if (security != nullptr) return security->sspi != nullptr;
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Security));
    if (memory == nullptr) return false;
    security = new (memory) Security();
    Security& s = *security;
    s.sspi = LoadSecurityInterface(s.library);
    if (s.sspi == nullptr) return false;
    PSecPkgInfoA info = nullptr;
    const AuthScheme schemes[] = {AuthScheme::Ntlm, AuthScheme::Negotiate};
    for (AuthScheme scheme : schemes) {
        if (s.sspi->QuerySecurityPackageInfoA(const_cast<char*>(AuthSchemeName(scheme)), &info) !=
            SEC_E_OK)
            continue;
        s.sspi->FreeContextBuffer(info);
        s.available |= scheme == AuthScheme::Ntlm ? AuthNtlmBit : AuthNegotiateBit;
    }
    return true;
}

unsigned LogonExchange::Available() { return Load() ? security->available : 0; }

bool LogonExchange::Start(AuthScheme scheme, const char* host, const char* user,
                          const char* password) {
    End();
    if (!Load()) return false;
    Security& s = *security;
    if (!CopyText(s.target, "HTTP/") || !AppendText(s.target, host)) return false;
    AccountIdentity account;
    if (user != nullptr && !account.Set(user, password)) return false;
    TimeStamp expiry;
    const SECURITY_STATUS status = s.sspi->AcquireCredentialsHandleA(
        nullptr, const_cast<char*>(AuthSchemeName(scheme)), SECPKG_CRED_OUTBOUND, nullptr,
        user != nullptr ? &account.identity : nullptr, nullptr, nullptr, &s.credentials, &expiry);
    s.credentialsValid = status == SEC_E_OK;
    return s.credentialsValid;
}

bool LogonExchange::NextToken(const char* challengeText, char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    if (security == nullptr || !security->credentialsValid) return false;
    Security& s = *security;
    unsigned char challenge[maxChallengeBytes];
    int challengeLength = 0;
    if (challengeText[0] != '\0') {
        challengeLength =
            Base64Decode(challengeText, standardBase64Alphabet, challenge, sizeof challenge);
        if (challengeLength <= 0) {
            End();
            return false;
        }
    }
    SecBuffer input = {static_cast<unsigned long>(challengeLength), SECBUFFER_TOKEN, challenge};
    SecBufferDesc inputDescription = {SECBUFFER_VERSION, 1, &input};
    SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, &output};
    unsigned long attributes = 0;
    TimeStamp expiry;
    const bool first = !s.contextValid;
    const SECURITY_STATUS status = s.sspi->InitializeSecurityContextA(
        &s.credentials, first ? nullptr : &s.context, s.target, ISC_REQ_ALLOCATE_MEMORY, 0,
        SECURITY_NATIVE_DREP, first && challengeLength == 0 ? nullptr : &inputDescription, 0,
        &s.context, &outputDescription, &attributes, &expiry);
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) s.contextValid = true;
    const bool made =
        (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) && output.pvBuffer != nullptr &&
        output.cbBuffer > 0 &&
        Base64Encode(output.pvBuffer, output.cbBuffer, standardBase64Alphabet, out, size);
    if (output.pvBuffer != nullptr) s.sspi->FreeContextBuffer(output.pvBuffer);
    if (!made) End();
    return made;
}

void LogonExchange::End() {
    if (security == nullptr) return;
    Security& s = *security;
    if (s.contextValid) s.sspi->DeleteSecurityContext(&s.context);
    if (s.credentialsValid) s.sspi->FreeCredentialsHandle(&s.credentials);
    s.contextValid = s.credentialsValid = false;
}
