// The download dialog: list columns, component rows and their statuses.
#include "ui/download_dialog_win.h"

#include <stdlib.h>

#include "config/component_table_win.h"
#include "ui/resource_ids.h"

namespace {

struct ColumnSpec {
    UINT titleId;
    int format;
    int share;  // per mille of the list view's client width
};

const ColumnSpec columns[] = {
    {IDS_COLUMN_COMPONENT, LVCFMT_LEFT, 400},
    {IDS_COLUMN_SIZE, LVCFMT_RIGHT, 150},
    {IDS_COLUMN_STATUS, LVCFMT_LEFT, 450},
};

}  // namespace

DownloadDialog::DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                               const char* descriptionPath, bool saveProxySettings)
    : Dialog(IDD_DOWNLOAD),
      workDirectory(workDirectory),
      descriptionPath(descriptionPath),
      showWelcome(showWelcome),
      resuming(resuming),
      saveProxySettings(saveProxySettings) {}

void DownloadDialog::InsertColumns() {
    RECT client;
    GetClientRect(listView, &client);
    for (int i = 0; i < static_cast<int>(countof(columns)); ++i) {
        char title[80];
        if (LoadStringA(GetFrameworkInstance(), columns[i].titleId, title, countof(title)) == 0)
            title[0] = '\0';
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = client.right * columns[i].share / 1000;
        column.pszText = title;
        column.iSubItem = i;
        SendMessageA(listView, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

INT_PTR DownloadDialog::OnInitDialog() {
    listView = GetDlgItem(windowHandle, IDC_COMPONENT_LIST);
    statusText = GetDlgItem(windowHandle, IDC_STATUS_TEXT);
    InsertColumns();
    LoadDescriptions(*this);
    return 1;
}

Component* DownloadDialog::GetComponent(int row) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<Component*>(item.lParam);
}

void DownloadDialog::SetComponentStatus(int row, int status) {
    Component* component = GetComponent(row);
    if (component == nullptr) return;
    component->status = status;
    char text[100];
    StatusText(*component, text, countof(text));
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 2;
    item.pszText = text;
    SendMessageA(listView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    UpdateWindow(windowHandle);
}

void DownloadDialog::SetCurrentStatus(int status) { SetComponentStatus(currentIndex, status); }

void DownloadDialog::FreeComponents() {
    for (int row = 0; row < componentCount; ++row) free(GetComponent(row));
    componentCount = 0;
}

INT_PTR DownloadDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_DESTROY) FreeComponents();
    return Dialog::DialogProc(message, wParam, lParam);
}
