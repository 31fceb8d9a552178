// The installer started from a folder (the user's downloads) that holds a library under
// the name of a system library it uses: the planted copy is never loaded, and the
// installer runs with the system's. Wine normally prefers its own libraries whatever
// lies beside a program; a per-program override in its registry makes it look beside
// the program first, as Windows does for any library that is not one it always takes
// from its own folder. (WINEDLLOVERRIDES would not do: Wine reads it only from the
// environment Wine itself was started with.)
#include "installer_fixture.h"

namespace {

const char kTrayClass[] = "CV_TARROCK_TRAY_CLASS";
const DWORD kPatience = 30000;
// The name the installer is copied under, so that the override concerns this test alone.
const char kDownloaded[] = "downloaded.exe";
const char kProgramKey[] = "Software\\Wine\\AppDefaults\\downloaded.exe";
const char kOverridesKey[] = "Software\\Wine\\AppDefaults\\downloaded.exe\\DllOverrides";

// Makes Wine load library for the copied installer from beside it when one is there
// ("native,builtin"), for as long as it lives.
class NativeFirst {
public:
    explicit NativeFirst(const char* library) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverridesKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        const char order[] = "native,builtin";
        RegSetValueExA(key, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                       sizeof(order));
        RegCloseKey(key);
    }
    ~NativeFirst() {
        RegDeleteKeyA(HKEY_CURRENT_USER, kOverridesKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kProgramKey);
    }
};

class PlantedLibrary : public InstallerFixture {};

}  // namespace

TEST_F(PlantedLibrary, BesideTheInstallerIsNeverLoaded) {
    // The libraries the image uses that the system does not always take from its own
    // folder. version.dll is not among them here: Wine's own user32 imports it, so Wine
    // takes a planted copy for any program with windows once told to prefer it; that the
    // image does not import it is checked with its imports (tests/extension/check-imports).
    for (const char* name : {"wsock32", "comctl32"}) {
        std::string folder = scratch.Path() + "\\" + name;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        const std::string installer = folder + "\\" + kDownloaded;
        const std::string planted = folder + "\\" + name + ".dll";
        ASSERT_TRUE(
            CopyFileA((ModuleDirectory() + "\\cvget.exe").c_str(), installer.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\planted_library.dll").c_str(),
                              planted.c_str(), FALSE));
        SetRecordedWorkDirectory(work);
        {
            NativeFirst nativeFirst(name);
            InstallerProcess run(installer, "-tray");
            ASSERT_TRUE(run.Started()) << name;
            // The tray window comes after the common controls were set up.
            HWND tray = run.FindWindowOf(kTrayClass, kTrayClass, kPatience);
            EXPECT_NE(nullptr, tray) << name;
            if (tray != nullptr) PostMessageA(tray, WM_CLOSE, 0, 0);
            EXPECT_EQ(6, run.WaitForExit(kPatience)) << name;  // ended from the tray
        }
        EXPECT_FALSE(FileExists(planted + ".loaded")) << name;
    }
}
