// The Windows test program starts under Wine and sees a Windows platform.
#include <windows.h>

#include <gtest/gtest.h>

TEST(WineSmoke, RunsAsWin32Process) {
    char path[MAX_PATH] = {0};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_NE(nullptr, GetModuleHandleA("kernel32.dll"));
}

#include <string>

#include "process_support.h"

// The image carries its application manifest: it runs as whoever starts it, so that a
// name such as setup.exe does not make Windows ask for elevation, with the common
// controls of version 6 and at the display's scale (what they do: Screenshots).
TEST(WineSmoke, TheInstallerImageCarriesItsManifest) {
    HMODULE image = LoadLibraryExA((ModuleDirectory() + "\\cvget.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    ASSERT_NE(nullptr, bytes);
    std::string manifest(bytes, SizeofResource(image, found));
    FreeLibrary(image);
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest.find("supportedOS"));
    EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" "
                                               "version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"));
    EXPECT_NE(std::string::npos, manifest.find(">true/pm</dpiAware>"));
}
