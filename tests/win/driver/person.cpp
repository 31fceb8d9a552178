// Finding, reading and operating another process's windows through window messages.
#include "driver/person.h"

#include "driver/remote_memory.h"

#include <commctrl.h>

const char Person::dialogClass[] = "#32770";

namespace {

// Longest text read from a control or a list cell; longer texts are returned cut.
const int textCapacity = 4096;
// A message to a window of the other process that takes longer than this means it hangs.
const DWORD replyPatience = 2000;
const DWORD pollInterval = 20;

struct Search {
    DWORD processId;
    const WindowQuery* query;
    HWND found;
    std::string* description;
};

bool Matches(HWND window, const WindowQuery& query) {
    if (query.mustBeShown && !IsWindowVisible(window)) return false;
    if (query.className != nullptr &&
        lstrcmpiA(Person::ClassName(window).c_str(), query.className) != 0)
        return false;
    if (query.caption != nullptr && Person::Text(window) != query.caption) return false;
    if (query.controlId != 0) {
        HWND control = GetDlgItem(window, query.controlId);
        if (control == nullptr) return false;
        if (query.controlText != nullptr &&
            Person::Text(control).find(query.controlText) == std::string::npos)
            return false;
    }
    return true;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
    Search* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    if (search->description != nullptr) {
        *search->description += Person::ClassName(window) + " '" + Person::Text(window) + "' " +
                                (IsWindowVisible(window) ? "shown\n" : "hidden\n");
        return TRUE;
    }
    if (!Matches(window, *search->query)) return TRUE;
    search->found = window;
    return FALSE;
}

DWORD OwnerOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

// Sends a message whose lParam points at a structure of type Item followed by a text
// buffer, both inside the window's process, and returns the text the window wrote there.
template <typename Item>
bool ReadRemoteText(HWND window, UINT message, WPARAM wParam, Item item, std::string* text) {
    RemoteBlock block(OwnerOf(window), sizeof(Item) + textCapacity);
    if (!block.Valid()) return false;
    item.pszText = static_cast<char*>(block.RemoteAddress(sizeof(Item)));
    item.cchTextMax = textCapacity;
    // A row or column the list does not have leaves the text empty rather than undefined.
    char empty = 0;
    if (!block.Write(0, &item, sizeof(item)) || !block.Write(sizeof(Item), &empty, 1)) return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam,
                             reinterpret_cast<LPARAM>(block.RemoteAddress(0)), SMTO_ABORTIFHUNG,
                             replyPatience, &result))
        return false;
    std::vector<char> buffer(textCapacity);
    if (!block.Read(sizeof(Item), buffer.data(), buffer.size())) return false;
    // The other process is trusted no further than its buffer: the text ends inside it.
    buffer.back() = 0;
    *text = buffer.data();
    return true;
}

}  // namespace

HWND Person::FindTopWindow(const WindowQuery& query) const {
    Search search = {processId, &query, nullptr, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Person::WaitForWindow(const WindowQuery& query, DWORD milliseconds) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(query)) != nullptr; }, milliseconds);
    return found;
}

HWND Person::WaitForDialog(const char* caption, DWORD milliseconds) const {
    WindowQuery query;
    query.className = dialogClass;
    query.caption = caption;
    return WaitForWindow(query, milliseconds);
}

HWND Person::WaitForMessageBox(const char* title, const char* fragment, DWORD milliseconds) const {
    WindowQuery query;
    query.className = dialogClass;
    query.caption = title;
    query.controlId = messageTextId;
    query.controlText = fragment;
    return WaitForWindow(query, milliseconds);
}

bool Person::WaitUntilGone(HWND window, DWORD milliseconds) const {
    return WaitUntil([&] { return !IsWindow(window); }, milliseconds);
}

bool Person::WaitForText(HWND window, const char* text, DWORD milliseconds) const {
    return WaitUntil([&] { return Text(window) == text; }, milliseconds);
}

std::string Person::DescribeWindows() const {
    std::string description;
    Search search = {processId, nullptr, nullptr, &description};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return description;
}

std::string Person::Text(HWND window) {
    if (window == nullptr) return std::string();
    std::vector<char> buffer(textCapacity);
    // WM_GETTEXT is carried across processes by the system, and unlike GetWindowTextA it
    // reaches the text an edit control really holds.
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             replyPatience, &copied))
        GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
    buffer.back() = 0;
    return buffer.data();
}

std::string Person::ClassName(HWND window) {
    char name[256] = {};
    if (window != nullptr) GetClassNameA(window, name, sizeof(name));
    return name;
}

RECT Person::Rectangle(HWND window) {
    RECT rectangle = {};
    if (window != nullptr) GetWindowRect(window, &rectangle);
    return rectangle;
}

ProgressState Person::Progress(HWND bar) {
    ProgressState state;
    LRESULT value = 0;
    // Without a structure pointer PBM_GETRANGE answers one limit: TRUE the low, FALSE the high.
    if (Send(bar, PBM_GETRANGE, TRUE, 0, &value, replyPatience))
        state.low = static_cast<int>(value);
    if (Send(bar, PBM_GETRANGE, FALSE, 0, &value, replyPatience))
        state.high = static_cast<int>(value);
    if (Send(bar, PBM_GETPOS, 0, 0, &value, replyPatience))
        state.position = static_cast<int>(value);
    return state;
}

int Person::RowCount(HWND list) {
    LRESULT count = 0;
    if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &count, replyPatience)) return -1;
    return static_cast<int>(count);
}

int Person::ColumnCount(HWND list) {
    LRESULT header = 0, count = 0;
    if (!Send(list, LVM_GETHEADER, 0, 0, &header, replyPatience) || header == 0) return -1;
    if (!Send(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &count, replyPatience))
        return -1;
    return static_cast<int>(count);
}

std::string Person::ColumnTitle(HWND list, int column) {
    LVCOLUMNA item = {};
    item.mask = LVCF_TEXT;
    std::string text;
    ReadRemoteText(list, LVM_GETCOLUMNA, column, item, &text);
    return text;
}

std::string Person::CellText(HWND list, int row, int column) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    std::string text;
    ReadRemoteText(list, LVM_GETITEMTEXTA, row, item, &text);
    return text;
}

std::vector<std::vector<std::string>> Person::Rows(HWND list) {
    std::vector<std::vector<std::string>> rows;
    int columns = ColumnCount(list);
    int count = RowCount(list);
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < columns; ++column)
            cells.push_back(CellText(list, row, column));
        rows.push_back(cells);
    }
    return rows;
}

bool Person::Press(HWND button) {
    if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
    HWND top = GetAncestor(button, GA_ROOT);
    if (top != nullptr && !IsWindowEnabled(top)) return false;
    // Posted, not sent: a click that opens a modal box would keep a sender waiting until
    // the box is answered.
    return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool Person::PressKey(HWND dialog, UINT virtualKey) const {
    if (dialog == nullptr || !IsWindow(dialog)) return false;
    // Keys go to the window with the focus; the modal loop hands them to the dialog manager
    // when that window is the dialog or one of its controls.
    HWND target = dialog;
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
        info.hwndFocus != nullptr && IsChild(dialog, info.hwndFocus))
        target = info.hwndFocus;
    LPARAM scanCode = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, 0)) << 16;
    const LPARAM releaseBits = (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    if (!PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | scanCode)) return false;
    // The press may already have closed the dialog, and with it the target: the release
    // then has nowhere to go, and the key was pressed all the same.
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | scanCode | releaseBits);
    return true;
}

bool Person::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return window != nullptr && PostMessageA(window, message, wParam, lParam) != FALSE;
}

bool Person::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                  DWORD milliseconds) {
    if (window == nullptr) return false;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, milliseconds,
                             &answer))
        return false;
    if (result != nullptr) *result = static_cast<LRESULT>(answer);
    return true;
}
