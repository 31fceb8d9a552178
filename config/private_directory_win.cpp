// Private directories: creation with create-new semantics under fresh random names,
// and the access list for the current user. The security functions are looked up at
// run time: the Windows 95 family has no access lists, and its advapi32 need not
// export them.
#include "config/private_directory_win.h"

#include "shell/app_win.h"
#include "config/work_directory_tag.h"

RandomBytesSource g_randomBytesSource = SystemRandomBytes;

namespace {

// Names tried before giving up; each one taken already costs only a failed create.
const int kFreshNameAttempts = 64;

typedef BOOLEAN(WINAPI* GenRandomProc)(PVOID, ULONG);
typedef BOOL(WINAPI* OpenProcessTokenProc)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI* GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                              PDWORD);
typedef DWORD(WINAPI* GetLengthSidProc)(PSID);
typedef BOOL(WINAPI* InitializeAclProc)(PACL, DWORD, DWORD);
typedef BOOL(WINAPI* AddAccessAllowedAceProc)(PACL, DWORD, DWORD, PSID);
typedef BOOL(WINAPI* GetAceProc)(PACL, DWORD, LPVOID*);
typedef BOOL(WINAPI* InitializeSecurityDescriptorProc)(PSECURITY_DESCRIPTOR, DWORD);
typedef BOOL(WINAPI* SetSecurityDescriptorDaclProc)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);

template <typename Proc>
Proc Lookup(HMODULE module, const char* name) {
    // FARPROC stands for any export; going through void* says so without a warning.
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE SecurityLibrary() {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    return advapi != nullptr ? advapi : LoadLibraryA("advapi32.dll");
}

// Security attributes whose access list holds one entry: full access for the user
// of this process, inherited by everything created inside.
class UserOnlySecurity {
public:
    SECURITY_ATTRIBUTES attributes = {};

    bool Build() {
        if (GetOsClass() != OsModernNt && GetOsClass() != OsOldNt) return false;
        HMODULE advapi = SecurityLibrary();
        if (advapi == nullptr) return false;
        PSID user = CurrentUser(advapi);
        return user != nullptr && BuildDescriptor(advapi, user);
    }

private:
    // DWORD arrays keep the structures aligned.
    DWORD tokenUser[128] = {};
    DWORD acl[128] = {};
    SECURITY_DESCRIPTOR descriptor = {};

    PSID CurrentUser(HMODULE advapi) {
        auto openToken = Lookup<OpenProcessTokenProc>(advapi, "OpenProcessToken");
        auto tokenInformation = Lookup<GetTokenInformationProc>(advapi, "GetTokenInformation");
        if (openToken == nullptr || tokenInformation == nullptr) return nullptr;
        HANDLE token = nullptr;
        if (!openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
        DWORD size = 0;
        BOOL read = tokenInformation(token, TokenUser, tokenUser, sizeof(tokenUser), &size);
        CloseHandle(token);
        return read ? reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid : nullptr;
    }

    bool BuildDescriptor(HMODULE advapi, PSID user) {
        auto sidLength = Lookup<GetLengthSidProc>(advapi, "GetLengthSid");
        auto initializeAcl = Lookup<InitializeAclProc>(advapi, "InitializeAcl");
        auto addAce = Lookup<AddAccessAllowedAceProc>(advapi, "AddAccessAllowedAce");
        auto getAce = Lookup<GetAceProc>(advapi, "GetAce");
        auto initializeDescriptor =
            Lookup<InitializeSecurityDescriptorProc>(advapi, "InitializeSecurityDescriptor");
        auto setDacl = Lookup<SetSecurityDescriptorDaclProc>(advapi, "SetSecurityDescriptorDacl");
        if (sidLength == nullptr || initializeAcl == nullptr || addAce == nullptr ||
            getAce == nullptr || initializeDescriptor == nullptr || setDacl == nullptr)
            return false;
        DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidLength(user);
        if (aclSize > sizeof(acl)) return false;
        PACL list = reinterpret_cast<PACL>(acl);
        if (!initializeAcl(list, aclSize, ACL_REVISION) ||
            !addAce(list, ACL_REVISION, GENERIC_ALL, user))
            return false;
        // The entry is made inheritable afterwards: AddAccessAllowedAceEx is missing
        // before Windows 2000.
        void* ace = nullptr;
        if (!getAce(list, 0, &ace)) return false;
        static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        if (!initializeDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !setDacl(&descriptor, TRUE, list, FALSE))
            return false;
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
        return true;
    }
};

// Clocks and ids folded together, for systems without a random generator.
void MixedClockBytes(unsigned char* bytes, size_t count) {
    static DWORD calls = 0;
    LARGE_INTEGER counter = {};
    (void)QueryPerformanceCounter(&counter);  // zero where there is no counter: still mixed
    DWORD state =
        GetTickCount() ^ (GetCurrentProcessId() << 16) ^ counter.LowPart ^ (++calls * 0x9E3779B9u);
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<unsigned char>(state >> 24);
    }
}

}  // namespace

void SystemRandomBytes(unsigned char* bytes, size_t count) {
    HMODULE advapi = SecurityLibrary();
    // RtlGenRandom is exported under this name since Windows XP.
    auto generate =
        advapi != nullptr ? Lookup<GenRandomProc>(advapi, "SystemFunction036") : nullptr;
    if (generate != nullptr && generate(bytes, static_cast<ULONG>(count))) return;
    MixedClockBytes(bytes, count);
}

bool CreatePrivateDirectory(const char* path) {
    UserOnlySecurity security;
    if (security.Build()) return CreateDirectoryA(path, &security.attributes) != FALSE;
    // The Windows 95 family has no access lists: the directory is as open as any other.
    // On Windows NT an access list that cannot be built would leave the directory with
    // its parent's, open to others: none is created.
    if (GetOsClass() == OsModernNt || GetOsClass() == OsOldNt) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return CreateDirectoryA(path, nullptr) != FALSE;
}

bool CreateFreshDirectory(const char* parent, const char* prefix, char (&path)[MAX_PATH]) {
    for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
        unsigned char random[4];
        g_randomBytesSource(random, countof(random));
        if (!BuildFreshDirectoryName(parent, prefix, random, path, countof(path))) return false;
        if (CreatePrivateDirectory(path)) return true;
        // Only a name taken already is worth another try.
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    path[0] = '\0';
    return false;
}

bool CreateFreshTemporaryDirectory(const char* prefix, char (&path)[MAX_PATH]) {
    char temporary[MAX_PATH];
    DWORD length = GetTempPathA(countof(temporary), temporary);
    if (length == 0 || length >= countof(temporary)) return false;
    return CreateFreshDirectory(temporary, prefix, path);
}
