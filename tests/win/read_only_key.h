// A registry key the test's user may only read, as a key under HKEY_LOCAL_MACHINE is
// for a user without elevation. Wine gives every process an elevated token, whichever
// Unix user runs it, so HKEY_LOCAL_MACHINE itself stays writable there; it does check a
// key's own access list, which this one sets. The test keeps a handle opened before the
// list was set, to open the key up again and delete it at the end.
#pragma once

#include "common/win32.h"

#include <sddl.h>

#include <string>

class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::string& path) : root(root), path(path) {
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &handle, nullptr) != ERROR_SUCCESS)
            handle = nullptr;
        else
            readOnly = SetAccess("D:P(A;;KR;;;WD)");
    }
    ~ReadOnlyKey() {
        if (handle == nullptr) return;
        SetAccess("D:(A;;KA;;;WD)");
        RegCloseKey(handle);
        RegDeleteKeyA(root, path.c_str());
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

    // The key exists and everyone (the test's user too) may only read it.
    bool Ready() const { return readOnly; }

private:
    bool SetAccess(const char* descriptor) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1, &sd,
                                                                  nullptr))
            return false;
        bool set = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
        return set;
    }

    HKEY root;
    std::string path;
    HKEY handle = nullptr;
    bool readOnly = false;
};
