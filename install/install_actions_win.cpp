// Install actions: carries out one entry of a component (unpack, start, copy or hand to
// the shell), waits for a started program while this thread's messages keep flowing,
// reads the program's verdict and marks the component present for the client.
#include "install/install_actions_win.h"
#include "common/run_log_win.h"
#include "common/registry_text_win.h"

#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "config/payload_archive_win.h"
#include "config/verified_files.h"
#include "install/action_result.h"
#include "install/install_entry.h"
#include "shell/process_state_win.h"
#include "config/private_directory_win.h"
#include "config/work_directory_win.h"

INT_PTR g_currentInstallProcess = -1;
int g_installCounter = 1;

namespace {

const char kInstallComponentsKey[] = "SOFTWARE\\Corvane\\Corvane\\InstallComponents";
const char kPublicComponentsKey[] = "Software\\Corvane\\Corvane\\Public\\Components\\";
const char kRegisterListKey[] = "Software\\Corvane\\Corvane\\ComponentsToRegister";
const char kClientKey[] = "SOFTWARE\\Corvane\\Corvane";
const char kClientAppPathKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\corvane.exe";
const DWORD kWaitSliceMs = 200;

typedef int(__cdecl* UnzipPackageProc)(const char* package, const char* destination, int flag);

// Loaded on first use and kept until the installation's actions are over.
HMODULE g_extensionLibrary = nullptr;
// The work directory of the latest action's run, where the payload's cvgetex.dll is
// looked for, and the digests it must match; empty before the first action.
char g_extensionDirectory[MAX_PATH] = "";
const VerifiedFiles* g_extensionDigests = nullptr;

HKEY CreateKey(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

void SetText(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(strlen(text)) + 1);
}

// Reads a text value into buffer (size bytes), always terminated; false (buffer
// empty) when it is missing, empty or does not fit.
bool QueryText(HKEY root, const char* path, const char* name, char* buffer, DWORD size) {
    return ReadRegistryText(root, path, name, buffer, size) && buffer[0] != '\0';
}

void ClearFailure() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallComponentsKey, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "Failed");
    RegDeleteValueA(key, "FailedMessage");
    RegCloseKey(key);
}

// A started program reports failure with a non-empty "Failed" value. Only its size is
// asked for, so a value of any length counts.
bool ProgramReportedFailure() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallComponentsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, "Failed", nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size > 0;
}

void MarkComponentPresent(const Component& component) {
    char path[sizeof(kPublicComponentsKey) + sizeof(component.sectionName)];
    CopyText(path, kPublicComponentsKey);
    AppendText(path, component.sectionName);
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, path);
    if (key == nullptr) return;
    DWORD one = 1;
    RegSetValueExA(key, "enable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegCloseKey(key);
}

// The program runs on while this thread keeps dispatching its messages (one per
// wake-up), so the download dialog and the workers' windows stay alive; the dialog can
// even run nested in here. Windows ending stops the wait.
void WaitForProgram(HANDLE process, HANDLE thread) {
    if (process != nullptr) {
        g_currentInstallProcess = reinterpret_cast<INT_PTR>(process);
        while (!g_shuttingDown) {
            DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, kWaitSliceMs, QS_ALLINPUT);
            if ((woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT) || g_shuttingDown) break;
            MSG message;
            if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        DWORD exitCode = 0;
        if (GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE)
            LogEvent("the program ended with exit code %lu", exitCode);
        else
            LogEvent("the program was left running (Windows is ending the session)");
        CloseHandle(process);
        g_currentInstallProcess = -1;
    }
    if (thread != nullptr) CloseHandle(thread);
}

// Starts program, the very file that was checked, with line (CreateProcessA may write
// into it) and waits for it. Named apart from the line, the program is never searched for
// among the line's words. True when it started.
bool StartAndWait(const char* program, char* line, const char* directory) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program, line, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                        directory, &startup, &started)) {
        LogEvent("%s could not be started (error %lu)", LastPathElement(program), GetLastError());
        return false;
    }
    WaitForProgram(started.hProcess, started.hThread);
    return true;
}

// Records the unpacked set-up script as "INS<n>" for the client to run later.
void RecordDeferredSetup(const char* directory) {
    char path[MAX_PATH];
    if (!CopyText(path, directory) || !AppendText(path, "\\setup.ins")) return;
    char name[32];
    wsprintfA(name, "INS%d", g_installCounter);
    HKEY key = CreateKey(HKEY_CURRENT_USER, kInstallComponentsKey);
    if (key != nullptr) {
        SetText(key, name, path);
        RegCloseKey(key);
    }
    ++g_installCounter;
}

// Outcome of one verb: how it ended, and whether it started a program (whose verdict
// is then read back).
struct VerbOutcome {
    ActionResult result;
    bool started;
};

VerbOutcome Ended(ActionResult result) { return {result, false}; }

// The program is waited for when it started; one that cannot be started has installed
// nothing.
VerbOutcome Started(bool started) {
    return {started ? ActionResult::Done : ActionResult::ProgramNotStarted, started};
}

VerbOutcome InstallerPackage(const char* fullPath, const char* arguments) {
    char directory[MAX_PATH];
    // A new directory of the installer's own: one that exists already (planted by
    // someone else) is never unpacked into nor run from.
    if (!CreateFreshTemporaryDirectory("INS", directory)) return Ended(ActionResult::NotUnpacked);
    if (!CallUnzipPackage(fullPath, directory, 0)) {
        DeleteTree(directory);  // ours, and holding nothing usable
        return Ended(ActionResult::NotUnpacked);
    }
    if (g_deferredSetup) {
        RecordDeferredSetup(directory);
        return Ended(ActionResult::Done);
    }
    char program[MAX_PATH];
    char line[MAX_PATH];
    if (!BuildSetupProgramPath(directory, program, countof(program)) ||
        !BuildSetupCommandLine(program, arguments, g_commandLine, line, countof(line)))
        return Ended(ActionResult::EntryUnusable);
    return Started(StartAndWait(program, line, directory));
}

VerbOutcome RunProgram(const Component& component, const char* fullPath, const char* arguments) {
    char line[MAX_PATH];
    if (!BuildRunCommandLine(fullPath, arguments, g_commandLine, line, countof(line)))
        return Ended(ActionResult::EntryUnusable);
    return Started(StartAndWait(fullPath, line, component.workDirectory));
}

VerbOutcome ShellVerb(const Component& component, const InstallEntry& fields,
                      const char* fullPath) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpVerb = fields.verb;
    info.lpFile = fullPath;
    info.lpParameters = fields.arguments != nullptr ? fields.arguments : g_commandLine;
    info.lpDirectory = component.workDirectory;
    info.nShow = SW_HIDE;
    if (!ShellExecuteExA(&info)) {
        LogEvent("the shell could not start %s (error %lu)", fields.file, GetLastError());
        return Ended(ActionResult::ShellFoundNoProgram);
    }
    WaitForProgram(info.hProcess, nullptr);
    return {ActionResult::Done, true};
}

// The target directory of "package" and "copy"; empty when there is none.
void ChooseTargetDirectory(int flags, char* target) {
    target[0] = '\0';
    UINT length = 0;
    switch (ChooseTarget(flags)) {
    case TargetWindowsDirectory:
        length = GetWindowsDirectoryA(target, MAX_PATH);
        break;
    case TargetSystemDirectory:
        length = GetSystemDirectoryA(target, MAX_PATH);
        break;
    case TargetClientData:
        FindClientDirectory(target, ClientDataDirectory);
        return;
    case TargetClientProgram:
        if (FindClientDirectory(target, ClientProgramDirectory) && WantsProgramSuffix(flags) &&
            !AppendProgramDirectory(target, MAX_PATH))
            target[0] = '\0';
        return;
    }
    if (length == 0 || length >= MAX_PATH) target[0] = '\0';
}

// A target the user may not write (the Windows folder without elevation, a file in
// use) leaves the package not unpacked, or only partly: the action fails.
ActionResult UnpackIntoTarget(const char* fullPath, int flags) {
    char target[MAX_PATH];
    ChooseTargetDirectory(flags, target);
    if (target[0] == '\0') return ActionResult::NoTarget;
    LogEvent("unpacking into %s", target);
    return CallUnzipPackage(fullPath, target, UnpackFlag(flags)) ? ActionResult::Done
                                                                 : ActionResult::NotUnpacked;
}

ActionResult CopyIntoTarget(const char* fullPath, const char* file, int flags) {
    char target[MAX_PATH];
    ChooseTargetDirectory(flags, target);
    if (target[0] == '\0') return ActionResult::NoTarget;
    // A target path that does not fit would name another file: nothing is copied.
    if (!AppendText(target, "\\") || !AppendText(target, file)) return ActionResult::NotCopied;
    if (!CopyFileA(fullPath, target, FALSE)) {
        LogEvent("%s could not be copied to %s (error %lu)", file, target, GetLastError());
        return ActionResult::NotCopied;
    }
    // The list is the client's to-do; a copy that is in place counts without it.
    if (flags & kTargetExtraFlag) (void)AddToComRegistrationList(target);
    return ActionResult::Done;
}

VerbOutcome CarryOut(const Component& component, const InstallEntry& fields, const char* fullPath) {
    switch (ClassifyVerb(fields.verb)) {
    case VerbInstallerPackage:
        return InstallerPackage(fullPath, fields.arguments);
    case VerbRun:
        return RunProgram(component, fullPath, fields.arguments);
    case VerbPackage:
        return Ended(UnpackIntoTarget(fullPath, TargetFlags(fields.arguments)));
    case VerbCopy:
        return Ended(CopyIntoTarget(fullPath, fields.file, TargetFlags(fields.arguments)));
    case VerbShell:
        break;
    }
    return ShellVerb(component, fields, fullPath);
}

}  // namespace

int PerformInstallAction(Component& component, char* entry, const CheckedFiles* checked) {
    InstallEntry fields;
    if (!SplitInstallEntry(entry, &fields)) {
        LogEvent("component '%s': an entry without verb or file", component.name);
        return 0;
    }
    char fullPath[MAX_PATH];
    // A file whose path does not fit names no file of the component: nothing happens.
    bool named = checked != nullptr
                     ? checked->PathOf(component, fields.file, fullPath, countof(fullPath))
                     : GetSourcePath(component, fields.file, fullPath, countof(fullPath));
    if (!named) return 0;
    CopyText(g_extensionDirectory, component.workDirectory);
    g_extensionDigests = component.verifiedFiles;
    ClearFailure();
    VerbOutcome outcome = CarryOut(component, fields, fullPath);
    if (outcome.started && ProgramReportedFailure())
        outcome.result = ActionResult::ProgramReportedFailure;
    MarkComponentPresent(component);
    LogEvent("component '%s': %s %s: %s", component.name, fields.verb, fields.file,
             ActionResultName(outcome.result));
    return ActionSucceeded(outcome.result) ? 1 : 0;
}

int FindClientDirectory(char* buffer, ClientDirectoryVariant variant) {
    if (variant == ClientDataDirectory &&
        QueryText(HKEY_CURRENT_USER, kClientKey, "Data Path", buffer, MAX_PATH)) {
        if (EnsureTrailingBackslash(buffer, MAX_PATH)) return 1;
        buffer[0] = '\0';
        return 0;
    }
    // A client key without a usable "Path" names no directory: the buffer stays empty
    // rather than becoming a path at the root of the current drive.
    if (!QueryText(HKEY_LOCAL_MACHINE, kClientAppPathKey, "Path", buffer, MAX_PATH)) {
        buffer[0] = '\0';
        return 0;
    }
    TrimProgramSuffix(buffer);
    if (variant == ClientDataDirectory && !AppendDataDirectory(buffer, MAX_PATH)) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

int AddToComRegistrationList(const char* path) {
    char keyPath[MAX_PATH];
    if (!CopyText(keyPath, kRegisterListKey) || !AppendText(keyPath, FileNameWithBackslash(path)))
        return 0;
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, keyPath);
    if (key == nullptr) return 0;
    SetText(key, "Path", path);
    SetText(key, "RegType", ComRegistrationType(path));
    RegCloseKey(key);
    return 1;
}

// The system folder's copy, by its full path: never one a search would find elsewhere.
HMODULE LoadSystemExtensionLibrary() {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, countof(path));
    if (length == 0 || length >= countof(path) || !AppendText(path, "\\cvgetex.dll"))
        return nullptr;
    return LoadLibraryExA(path, nullptr, 0);
}

// The work directory's copy when it is the one recorded (the payload's, or a verified
// download), held open from its check until it is loaded; otherwise the system's.
HMODULE LoadExtensionLibrary() {
    char path[MAX_PATH];
    Sha256Digest digest;
    if (g_extensionDirectory[0] == '\0' || !CopyText(path, g_extensionDirectory) ||
        !AppendText(path, "\\cvgetex.dll"))
        return LoadSystemExtensionLibrary();
    // Only where the system cannot hash: the payload's copy in the private work directory.
    if (ExtractedUnhashedExtension(path)) return LoadLibraryExA(path, nullptr, 0);
    if (g_extensionDigests == nullptr || !g_extensionDigests->Find(path, digest))
        return LoadSystemExtensionLibrary();
    HANDLE held = OpenHeldFile(path);
    if (held == INVALID_HANDLE_VALUE) return LoadSystemExtensionLibrary();
    HMODULE module = nullptr;
    if (HandleMatchesDigest(held, digest) == Authentic) module = LoadLibraryExA(path, nullptr, 0);
    CloseHandle(held);
    return module != nullptr ? module : LoadSystemExtensionLibrary();
}

int CallUnzipPackage(const char* package, const char* destination, int flag) {
    if (g_extensionLibrary == nullptr) g_extensionLibrary = LoadExtensionLibrary();
    if (g_extensionLibrary == nullptr) return 0;
    // FARPROC stands for any export; going through void* says so without a warning.
    UnzipPackageProc unzip = reinterpret_cast<UnzipPackageProc>(
        reinterpret_cast<void*>(GetProcAddress(g_extensionLibrary, "UnzipPackage")));
    return unzip != nullptr ? unzip(package, destination, flag) : 0;
}

void ReleaseExtensionLibrary() {
    if (g_extensionLibrary == nullptr) return;
    (void)FreeLibrary(g_extensionLibrary);  // a failure only keeps the file in use
    g_extensionLibrary = nullptr;
}
