// Process-wide flags, the start-up message box and the Windows version class.
#include "shell/app_win.h"

#include "common/resource_string_win.h"
#include "shell/resource_ids.h"

const char* commandLine = "";
bool nestedRun = false;
bool deferredSetup = false;
bool downloadRunActive = false;
bool shuttingDown = false;
HINSTANCE appInstance = nullptr;

namespace {
int osClassCache = -1;
}

int ShowAppMessage(UINT textId, UINT style) {
    char title[100];
    char text[512];
    LoadResourceString(appInstance, IDS_APP_TITLE, title);
    LoadResourceString(appInstance, textId, text);
    return MessageBoxA(nullptr, text, title, style);
}

OsClass GetOsClass() {
    if (osClassCache >= 0) return static_cast<OsClass>(osClassCache);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);  // 148 bytes
    GetVersionExA(&version);
    osClassCache = ClassifyOs(version.dwPlatformId, version.dwMajorVersion);
    return static_cast<OsClass>(osClassCache);
}
