// The demo's client program, published as the package "Corvane.exe": started by the
// installer after the download, it records success in the state profile, as a real
// client's setup would, and shows nothing.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static const char name[] = "\\tarrock.ini";
    char path[MAX_PATH];
    UINT n = GetWindowsDirectoryA(path, MAX_PATH);
    if (n == 0 || n + sizeof(name) > MAX_PATH) return 1;
    CopyMemory(path + n, name, sizeof(name));
    WritePrivateProfileStringA("result", "success", "1", path);
    return 0;
}
