// The demo's client program, published as the package "Corvane.exe". Started by the
// installer after the download, it shows that it was installed by leaving a note in
// the temporary directory ("corvane-client.txt": where it ran and with which
// arguments), and records success in the state profile as a real client's setup would.
#include <windows.h>

namespace {

// Appends name to the directory text at path (of size MAX_PATH); false when it does not fit.
bool AppendName(char* path, UINT length, const char* name) {
    UINT nameLength = lstrlenA(name);
    if (length == 0 || length + nameLength >= MAX_PATH) return false;
    CopyMemory(path + length, name, nameLength + 1);
    return true;
}

void LeaveNote() {
    char path[MAX_PATH];
    if (!AppendName(path, GetTempPathA(MAX_PATH, path), "corvane-client.txt")) return;
    char here[MAX_PATH];
    if (GetCurrentDirectoryA(MAX_PATH, here) == 0) here[0] = '\0';
    char note[1024];
    wsprintfA(note,
              "Corvane Halverd Client installed\r\ndirectory: %.260s\r\ncommand line: %.600s\r\n",
              here, GetCommandLineA());
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, note, lstrlenA(note), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LeaveNote();
    char path[MAX_PATH];
    if (!AppendName(path, GetWindowsDirectoryA(path, MAX_PATH), "\\tarrock.ini")) return 1;
    WritePrivateProfileStringA("result", "success", "1", path);
    return 0;
}
