// Pictures of every dialog as a person sees it under the test display, for the README
// (build/win64/screenshots/*.bmp; scripts/bmp2png.py makes the PNG files of docs/).
#include "driver/person.h"
#include "driver/screenshot.h"
#include "package_support.h"
#include "process_support.h"
#include "ui/prompt_dialogs_win.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ShotPath(const char* name) {
    std::string directory = ModuleDirectory() + "\\screenshots";
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory + "\\" + name + ".bmp";
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
    int port = GetPrivateProfileIntA("servers", "scripted", 0,
                                     (ModuleDirectory() + "\\servers\\ports.ini").c_str());
    ASSERT_NE(0, port);
    ScratchDirectory scratch;
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
