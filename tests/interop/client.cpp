// The client program the interop cells publish. Started by the installer after the
// download, it leaves a copy of its own file (the bytes appended to the image
// included) as "corvane-interop-received.bin" in the Windows directory, so that the
// cell can compare what arrived with what was published, and reports success in the
// state profile as an installed client does. Exits with 0, or 1 when the copy failed.
#include <windows.h>

namespace {

// The Windows directory's file name into path (MAX_PATH bytes); false when it does not fit.
bool WindowsFile(const char* name, char* path) {
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    UINT nameLength = lstrlenA(name);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return false;
    path[length] = '\\';
    CopyMemory(path + length + 1, name, nameLength + 1);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    char copy[MAX_PATH];
    char profile[MAX_PATH];
    if (length == 0 || length >= MAX_PATH || !WindowsFile("corvane-interop-received.bin", copy) ||
        !WindowsFile("tarrock.ini", profile))
        return 1;
    if (!CopyFileA(self, copy, FALSE)) return 1;
    WritePrivateProfileStringA("result", "success", "1", profile);
    return 0;
}
