// One download run. Until the download dialog exists, the run extracts the payload
// into the work directory and ends; the files stay for the next run.
#include "config/payload_archive_win.h"
#include "startup/app_win.h"
#include "startup/run_modes_win.h"
#include "startup/work_directory_win.h"
#include "ui/resource_ids.h"

int RunDownload(bool, bool, const char*, bool) {
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        ShowAppMessage(IDS_WINSOCK_ERROR, MB_ICONERROR);
        return 0;
    }
    WorkDirectoryRecord record = {};
    record.instance = appInstance;
    if (!GetWorkDirectory(record)) {
        ShowAppMessage(IDS_TEMP_DIR_ERROR, MB_ICONERROR);
        WSACleanup();
        return 0;
    }
    ExtractPayload(record.path, nullptr, nullptr);
    WSACleanup();
    return 0;
}
