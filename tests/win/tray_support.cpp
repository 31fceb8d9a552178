// Reading Wine's standalone notification area: its icon windows and their tooltips,
// which live in explorer's process and are read through a block of its memory.
#include "tray_support.h"

#include <commctrl.h>

#include <map>

#include "driver/person.h"
#include "driver/remote_memory.h"

namespace {

const char standaloneTrayClass[] = "__winex11_standalone_tray";
const char tooltipClass[] = "tooltips_class32";
const size_t tipBufferSize = 128;  // the tooltip hands out at most 80 characters

struct TooltipSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTooltip(HWND window, LPARAM parameter) {
    TooltipSearch* search = reinterpret_cast<TooltipSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->processId && Person::ClassName(window) == tooltipClass)
        search->found.push_back(window);
    return TRUE;
}

// Tip of every tool of explorer's tooltips, by the window the tool belongs to.
std::map<HWND, std::string> ToolTips(DWORD processId) {
    std::map<HWND, std::string> tips;
    TooltipSearch search = {processId, {}};
    EnumWindows(CollectTooltip, reinterpret_cast<LPARAM>(&search));
    RemoteBlock block(processId, sizeof(TTTOOLINFOA) + tipBufferSize);
    if (!block.Valid()) return tips;
    for (HWND tooltip : search.found) {
        int count = static_cast<int>(SendMessageA(tooltip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TTTOOLINFOA info = {};
            info.cbSize = sizeof(info);
            info.lpszText = static_cast<char*>(block.RemoteAddress(sizeof(info)));
            char text[tipBufferSize] = {};
            LPARAM remoteInfo = reinterpret_cast<LPARAM>(block.RemoteAddress(0));
            if (!block.Write(0, &info, sizeof(info)) ||
                !block.Write(sizeof(info), text, sizeof(text)) ||
                !SendMessageA(tooltip, TTM_ENUMTOOLSA, i, remoteInfo) ||
                !block.Read(0, &info, sizeof(info)) ||
                !block.Read(sizeof(info), text, sizeof(text)))
                continue;
            text[sizeof(text) - 1] = '\0';
            tips[info.hwnd] = text;
        }
    }
    return tips;
}

bool PostMouse(HWND icon, UINT message, WPARAM keys) {
    return Person::Post(icon, message, keys, MAKELPARAM(4, 4));
}

}  // namespace

HWND NotificationArea() { return FindWindowA(standaloneTrayClass, nullptr); }

std::vector<NotificationIcon> NotificationIcons() {
    std::vector<NotificationIcon> icons;
    HWND area = NotificationArea();
    if (area == nullptr) return icons;
    for (HWND child = nullptr; (child = FindWindowExA(area, child, nullptr, nullptr)) != nullptr;) {
        NotificationIcon icon;
        icon.window = child;
        icons.push_back(icon);
    }
    if (icons.empty()) return icons;
    DWORD explorer = 0;
    GetWindowThreadProcessId(area, &explorer);
    std::map<HWND, std::string> tips = ToolTips(explorer);
    for (NotificationIcon& icon : icons) icon.tip = tips[icon.window];
    return icons;
}

std::vector<NotificationIcon> IconsAddedSince(const std::vector<NotificationIcon>& before) {
    std::vector<NotificationIcon> added;
    for (const NotificationIcon& icon : NotificationIcons()) {
        bool old = false;
        for (const NotificationIcon& earlier : before) old = old || earlier.window == icon.window;
        if (!old) added.push_back(icon);
    }
    return added;
}

std::vector<NotificationIcon> WaitForAddedIcons(const std::vector<NotificationIcon>& before,
                                                size_t count, DWORD milliseconds) {
    std::vector<NotificationIcon> added;
    // The tooltip that holds an icon's tip comes a moment after the icon itself.
    WaitUntil(
        [&] {
            added = IconsAddedSince(before);
            bool tipsShown = true;
            for (const NotificationIcon& icon : added) tipsShown = tipsShown && !icon.tip.empty();
            return added.size() == count && tipsShown;
        },
        milliseconds);
    return added;
}

bool DoubleClickIcon(HWND icon) {
    return PostMouse(icon, WM_LBUTTONDOWN, MK_LBUTTON) && PostMouse(icon, WM_LBUTTONUP, 0) &&
           PostMouse(icon, WM_LBUTTONDBLCLK, MK_LBUTTON) && PostMouse(icon, WM_LBUTTONUP, 0);
}

bool ClickIcon(HWND icon) {
    return PostMouse(icon, WM_LBUTTONDOWN, MK_LBUTTON) && PostMouse(icon, WM_LBUTTONUP, 0);
}

bool RightPressIcon(HWND icon) { return PostMouse(icon, WM_RBUTTONDOWN, MK_RBUTTON); }
