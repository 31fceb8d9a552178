// A file for its owner only, on Windows (see private_file.h): created new with an access
// list that holds one entry, full access for the user of this process.
// The C++ headers come first: common/win32.h poisons names that <cstdio> still mentions.
#include <string>

#include "tools/cvpublish/private_file.h"

#include "common/win32.h"

namespace {

// The security attributes of a file only the current user may open.
class OwnerOnlySecurity {
public:
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};

    bool Build() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        DWORD size = 0;
        BOOL read = GetTokenInformation(token, TokenUser, tokenUser, sizeof(tokenUser), &size);
        CloseHandle(token);
        if (!read) return false;
        PSID user = reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid;
        DWORD aclSize =
            sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(user);
        PACL list = reinterpret_cast<PACL>(acl);
        if (aclSize > sizeof(acl) || !InitializeAcl(list, aclSize, ACL_REVISION) ||
            !AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, user) ||
            !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE))
            return false;
        // Protected: the folder's inheritable entries are not added to the file's.
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes.lpSecurityDescriptor = &descriptor;
        return true;
    }

private:
    // DWORD arrays keep the structures aligned.
    DWORD tokenUser[128] = {};
    DWORD acl[128] = {};
    SECURITY_DESCRIPTOR descriptor = {};
};

}  // namespace

bool WritePrivateFile(const char* path, const std::string& bytes, std::string* problem) {
    OwnerOnlySecurity security;
    if (!security.Build()) {
        *problem = "cannot be made private to this user (its access list could not be built)";
        return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, &security.attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *problem = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                       ? "exists already; a key is never overwritten"
                       : "cannot be created";
        return false;
    }
    DWORD written = 0;
    bool complete =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    complete = CloseHandle(file) && complete;
    if (!complete) {
        *problem = "cannot be written";
        (void)DeleteFileA(path);  // a cut key is worse than none
    }
    return complete;
}
