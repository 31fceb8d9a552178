// Pictures of every dialog as a person sees it under the test display, for the README
// (build/win64/screenshots/*.bmp; scripts/bmp2png.py makes the PNG files of docs/).
#include "driver/person.h"
#include "driver/screenshot.h"
#include "package_support.h"
#include "process_support.h"
#include "ui/prompt_dialogs_win.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Set for a copy of these tests started at another scale: what its file names begin with.
const char kShotPrefixVariable[] = "CORVANE_SHOT_PREFIX";

std::string ShotPath(const std::string& name) {
    std::string directory = ModuleDirectory() + "\\screenshots";
    CreateDirectoryA(directory.c_str(), nullptr);
    char prefix[32] = {};
    DWORD length = GetEnvironmentVariableA(kShotPrefixVariable, prefix, sizeof(prefix));
    if (length >= sizeof(prefix)) prefix[0] = '\0';
    return directory + "\\" + prefix + name + ".bmp";
}

struct Shot {
    Shot(const char* caption, const char* file) : caption(caption), file(file) {}
    const char* caption;
    const char* file;
    bool saved = false;
    ScreenshotSize size;
};

// Waits for the dialog of this process, photographs it and presses its default button.
DWORD WINAPI TakeAndClose(void* parameter) {
    Shot* shot = static_cast<Shot*>(parameter);
    Person user(GetCurrentProcessId());
    HWND dialog = user.WaitForDialog(shot->caption, 10000);
    if (dialog == nullptr) return 0;
    Sleep(300);  // let it paint
    shot->saved = SaveScreenshot(dialog, ShotPath(shot->file), &shot->size);
    Person::Press(dialog, IDOK);
    return 0;
}

void ShowAndShoot(Dialog& dialog, Shot& shot) {
    HANDLE thread = CreateThread(nullptr, 0, TakeAndClose, &shot, 0, nullptr);
    dialog.DoModal(nullptr);
    WaitForSingleObject(thread, 15000);
    CloseHandle(thread);
}

// The description of a run whose one network component never arrives (the scripted
// server's "silence" sends nothing), beside a local one already there; empty when the
// test servers' ports are not known.
std::string WriteStalledDescription(const ScratchDirectory& scratch) {
    int port = GetPrivateProfileIntA("servers", "scripted", 0,
                                     (ModuleDirectory() + "\\servers\\ports.ini").c_str());
    if (port == 0) return "";
    std::string description = scratch.Path() + "\\tarrock.inf";
    WriteWholeFile(description,
                   "[defs]\r\ncomponents=cvclient,docs\r\n"
                   "[cvclient]\r\nname=Corvane Halverd Client\r\nsize=6348\r\nsite=127.0.0.1:" +
                       std::to_string(port) +
                       "\r\nsourceDir=silence/picture\r\nfiles=Corvane.exe\r\nProtocol=http\r\n"
                       "DisplayOrder=10\r\n"
                       "[docs]\r\nname=Corvane Manuals\r\nsize=928\r\nfiles=manual.txt\r\n"
                       "DisplayOrder=20\r\n");
    WriteWholeFile(scratch.Path() + "\\manual.txt", "read me");
    return description;
}

// The scale Wine draws the programs started from now on at: the prefix's "LogPixels"
// (96 for 100%), which each Wine process reads when it starts. Put back as it was when
// the scope ends. The other suites of win_tests, which draw, never run at the same time
// (CTest's lock installer-instance); the core tests, which may, draw nothing.
class DisplayScale {
public:
    explicit DisplayScale(DWORD dotsPerInch) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            key = nullptr;
            return;
        }
        DWORD size = sizeof(previous);
        hadValue = RegQueryValueExA(key, kValue, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&previous), &size) == ERROR_SUCCESS;
        set = RegSetValueExA(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dotsPerInch),
                             sizeof(dotsPerInch)) == ERROR_SUCCESS;
    }
    ~DisplayScale() {
        if (key == nullptr) return;
        if (hadValue)
            RegSetValueExA(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous),
                           sizeof(previous));
        else
            RegDeleteValueA(key, kValue);
        RegCloseKey(key);
    }
    bool Set() const { return set; }

private:
    static constexpr const char* kDesktopKey = "Control Panel\\Desktop";
    static constexpr const char* kValue = "LogPixels";
    HKEY key = nullptr;
    DWORD previous = 0;
    bool hadValue = false;
    bool set = false;
};

// The file of the common controls loaded in process id; empty when there is none.
std::string CommonControlsOf(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) return "";
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    bool found = Module32First(snapshot, &module) != FALSE;
    while (found && lstrcmpiA(module.szModule, "comctl32.dll") != 0)
        found = Module32Next(snapshot, &module) != FALSE;
    CloseHandle(snapshot);
    return found ? module.szExePath : "";
}

// Whether path lies in the system's side-by-side store, where version 6 is kept (the system
// folder holds version 5). Wine's library there reports 5.81 as its version, so the
// version number would say nothing.
bool InSideBySideStore(std::string path) {
    CharLowerA(&path[0]);
    return path.find("\\winsxs\\") != std::string::npos;
}

}  // namespace

// ctest-labels Screenshots: servers
TEST(Screenshots, PromptsAndSettings) {
    SetInstance(GetModuleHandleA(nullptr));
    InitCommonControls();
    struct Prompt {
        UINT id;
        Shot shot;
    };
    Prompt prompts[] = {
        {IDD_WELCOME, Shot("Corvane Lite Installer", "prompt105-welcome")},
        {IDD_READY_TO_INSTALL, Shot("Ready to Install", "prompt104-ready")},
        {IDD_CANCEL_INSTALLATION, Shot("Cancel Installation", "prompt106-cancel")},
    };
    for (Prompt& p : prompts) {
        PromptDialog dialog(p.id);
        ShowAndShoot(dialog, p.shot);
        EXPECT_TRUE(p.shot.saved) << p.shot.file;
        EXPECT_GT(p.shot.size.width, 100) << p.shot.file;
    }
    HttpSettingsDialog settings("proxy.example", "3128", "", "", "127.0.0.1/", "corvane\\publicdl/",
                                "", "");
    Shot shot("HTTP Settings", "dialog108-http-settings");
    ShowAndShoot(settings, shot);
    EXPECT_TRUE(shot.saved);
}

TEST(Screenshots, DownloadDialogOfARealRun) {
    ScratchDirectory scratch;
    std::string description = WriteStalledDescription(scratch);
    ASSERT_FALSE(description.empty());
    // A finished download left by another run would keep the dialog hidden.
    DeleteFileA(StateProfilePath().c_str());
    InstallerProcess run("cvget.exe", "-NoIntervention -inf " + description);
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND dialog = user.WaitForDialog("Resuming Download of Software...", 30000);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    user.WaitForText(GetDlgItem(dialog, 1002), "Downloading file 'Corvane.exe'...", 30000);
    Sleep(300);
    ScreenshotSize size;
    EXPECT_TRUE(SaveScreenshot(dialog, ShotPath("dialog101-download"), &size));
    EXPECT_GT(size.width, 200);
    ASSERT_TRUE(Person::Press(dialog, 1003));
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "Are you sure", 30000);
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(SaveScreenshot(box, ShotPath("message593-quit")));
    Person::Answer(box, IDYES);
    EXPECT_EQ(6, run.WaitForExit(30000));  // quit: cancelled by the user
    EXPECT_TRUE(FileExists(description));  // a description's folder is never deleted
}

// The real installer at 100%, 150% and 200%, with the common controls of version 6 and the
// per-monitor awareness that its manifest asks for: the welcome prompt, the download
// dialog and the question on Quit, then the other prompts. Each grows with the scale
// (nothing placed in pixels that stays behind), and the pictures are saved for a person
// to look at.
TEST(Screenshots, ScalesOfARealRun) {
    ScratchDirectory scratch;
    std::string description = WriteStalledDescription(scratch);
    ASSERT_FALSE(description.empty());
    struct Scale {
        DWORD dotsPerInch;
        const char* name;
        RECT prompt, dialog;
    };
    Scale scales[] = {
        {96, "scale100", {}, {}}, {144, "scale150", {}, {}}, {192, "scale200", {}, {}}};
    for (Scale& scale : scales) {
        SCOPED_TRACE(scale.name);
        DisplayScale display(scale.dotsPerInch);
        ASSERT_TRUE(display.Set());
        DeleteFileA(StateProfilePath().c_str());
        InstallerProcess run("cvget.exe", "-inf " + description);
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        std::string prefix = std::string(scale.name) + "-";

        HWND welcome = user.WaitForDialog("Corvane Lite Installer", 30000);
        ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
        Sleep(300);
        EXPECT_TRUE(SaveScreenshot(welcome, ShotPath(prefix + "prompt105-welcome")));
        scale.prompt = Person::Rectangle(welcome);
        std::string library = CommonControlsOf(run.Id());
        EXPECT_TRUE(InSideBySideStore(library)) << library;
        // Wine draws a program at the prefix's scale whether it declares awareness or not;
        // what the manifest declares is seen in the awareness of its windows (per monitor;
        // Wine 8 gives the first version of it for "PerMonitorV2").
        EXPECT_EQ(DPI_AWARENESS_PER_MONITOR_AWARE,
                  GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(welcome)));
        ASSERT_TRUE(Person::Press(welcome, IDOK));

        HWND dialog = user.WaitForDialog("Downloading Software...", 30000);
        ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
        user.WaitForText(GetDlgItem(dialog, IDC_STATUS_TEXT), "Downloading file 'Corvane.exe'...",
                         30000);
        Sleep(300);
        EXPECT_TRUE(SaveScreenshot(dialog, ShotPath(prefix + "dialog101-download")));
        scale.dialog = Person::Rectangle(dialog);
        ASSERT_TRUE(Person::Press(dialog, IDC_QUIT));
        HWND box = user.WaitForMessageBox("Corvane Lite Installer", "Are you sure", 30000);
        ASSERT_NE(nullptr, box);
        Sleep(300);
        EXPECT_TRUE(SaveScreenshot(box, ShotPath(prefix + "message593-quit")));
        Person::Answer(box, IDYES);
        EXPECT_EQ(6, run.WaitForExit(30000));  // quit: cancelled by the user

        // The prompts the real run shows only later (104, 106, 108), from a copy of this
        // program that starts at the same scale, with the same manifest; it also creates
        // every dialog from its template there and checks that each text fits its control.
        const char* const later[] = {"prompt104-ready", "prompt106-cancel",
                                     "dialog108-http-settings"};
        for (const char* name : later) DeleteFileA(ShotPath(prefix + name).c_str());
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        SetEnvironmentVariableA(kShotPrefixVariable, prefix.c_str());
        InstallerProcess prompts(self, "--gtest_filter=Screenshots.PromptsAndSettings:Resources.*");
        SetEnvironmentVariableA(kShotPrefixVariable, nullptr);
        ASSERT_TRUE(prompts.Started());
        EXPECT_EQ(0, prompts.WaitForExit(60000));
        for (const char* name : later)
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ShotPath(prefix + name).c_str()))
                << name;
    }
    // Sizes in proportion to the scale, within 15%: the frame and the font's own metrics
    // (dialog units follow the font's average character width) do not quite keep it.
    for (const Scale& scale : scales) {
        const double factor = scale.dotsPerInch / 96.0;
        struct Measured {
            const char* what;
            RECT at100, here;
        } measured[] = {{"prompt", scales[0].prompt, scale.prompt},
                        {"dialog", scales[0].dialog, scale.dialog}};
        for (const Measured& m : measured) {
            double width = m.here.right - m.here.left, height = m.here.bottom - m.here.top;
            double width100 = m.at100.right - m.at100.left,
                   height100 = m.at100.bottom - m.at100.top;
            std::printf("%s %s: %.0f x %.0f\n", scale.name, m.what, width, height);
            EXPECT_NEAR(factor, width / width100, 0.15 * factor) << scale.name << " " << m.what;
            EXPECT_NEAR(factor, height / height100, 0.15 * factor) << scale.name << " " << m.what;
        }
    }
}
