// The program's message box and the Windows version class.
#include "shell/app_win.h"

#include "common/resource_string_win.h"
#include "shell/process_state_win.h"
#include "shell/resource_ids.h"

namespace {
int g_osClassCache = -1;
}

int ShowAppMessage(UINT textId, UINT style) {
    char title[100];
    char text[512];
    LoadResourceString(g_instance, IDS_APP_TITLE, title);
    LoadResourceString(g_instance, textId, text);
    return MessageBoxA(nullptr, text, title, style);
}

OsClass GetOsClass() {
    if (g_osClassCache >= 0) return static_cast<OsClass>(g_osClassCache);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);  // 148 bytes
    GetVersionExA(&version);
    g_osClassCache = ClassifyOs(version.dwPlatformId, version.dwMajorVersion);
    return static_cast<OsClass>(g_osClassCache);
}
