// The installer's resources as the running program meets them: every dialog is created
// from its template and its controls are checked in tab order; every string, the tray
// menu and both images of the icon are loaded from the test program's own image.
#include "common/win32.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

namespace {

const DWORD kButtonType = 0x0F;  // BS_TYPEMASK, missing from older headers
const DWORD kStaticType = SS_TYPEMASK;
const DWORD kEditBits = ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP | WS_DISABLED;
const DWORD kButtonBits = kButtonType | WS_TABSTOP | WS_DISABLED;
const int kTextSize = 1024;

struct ControlCase {
    int id;
    const char* className;
    const char* text;
    int x, y, width, height;  // dialog units
    DWORD styleMask;          // the style bits compared ...
    DWORD style;              // ... and their expected values
    bool border;              // WS_BORDER in the template (controls may trade it for an edge)
};

struct DialogCase {
    int templateId;
    const char* caption;
    int width, height;  // dialog units
    DWORD frameStyle;   // the window style bits below must be exactly these
    const ControlCase* controls;
    int controlCount;
};

const DWORD kFrameBits = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                         WS_THICKFRAME | WS_VISIBLE | WS_DISABLED | DS_MODALFRAME;
const DWORD kPromptFrame = WS_POPUP | WS_CAPTION | DS_MODALFRAME;

#define STATIC_TEXT(text, x, y, w, h) \
    { IDC_STATIC_TEXT, "Static", text, x, y, w, h, kStaticType | SS_SUNKEN, SS_LEFT, false }
#define EDIT_FIELD(id, x, y, w, h, extra) \
    { id, "Edit", "", x, y, w, h, kEditBits, ES_AUTOHSCROLL | WS_TABSTOP | (extra), true }
#define PUSH_BUTTON(id, text, x, y, w, h) \
    { id, "Button", text, x, y, w, h, kButtonBits, BS_PUSHBUTTON | WS_TABSTOP, false }
#define DEFAULT_BUTTON(id, text, x, y, w, h) \
    { id, "Button", text, x, y, w, h, kButtonBits, BS_DEFPUSHBUTTON | WS_TABSTOP, false }
#define GROUP_BOX(text, x, y, w, h) \
    { IDC_STATIC_TEXT, "Button", text, x, y, w, h, kButtonBits, BS_GROUPBOX, false }

const ControlCase kDownloadControls[] = {
    {IDC_COMPONENT_LIST, "SysListView32", "List1", 7, 7, 235, 39,
     LVS_TYPEMASK | LVS_NOSORTHEADER | WS_TABSTOP, LVS_REPORT | LVS_NOSORTHEADER | WS_TABSTOP,
     true},
    {IDC_STATUS_TEXT, "Static", "Download status", 7, 51, 235, 16, kStaticType | SS_SUNKEN,
     SS_CENTER | SS_SUNKEN, false},
    {IDC_PROGRESS, "msctls_progress32", "Progress1", 7, 73, 235, 8, WS_TABSTOP, 0, true},
    PUSH_BUTTON(IDC_SUSPEND, "&Suspend", 72, 89, 50, 14),
    PUSH_BUTTON(IDC_QUIT, "&Quit", 127, 89, 50, 14),
};

const ControlCase kWelcomeControls[] = {
    STATIC_TEXT("The Corvane Lite Installer will download the necessary components of your new "
                "Halverd client. Once the download is complete, you will be able to begin "
                "installation.",
                7, 7, 243, 30),
    DEFAULT_BUTTON(IDOK, "&Continue", 75, 38, 50, 14),
    PUSH_BUTTON(IDC_SECOND_CHOICE, "&Exit", 132, 38, 50, 14),
};

const ControlCase kReadyControls[] = {
    STATIC_TEXT("Corvane Lite Installer has finished downloading your Halverd client.\n\n"
                "Would you like to install now?",
                7, 7, 135, 33),
    DEFAULT_BUTTON(IDOK, "&Install", 155, 7, 50, 14),
    PUSH_BUTTON(IDC_SECOND_CHOICE, "&Cancel", 155, 26, 50, 14),
};

const ControlCase kCancelControls[] = {
    STATIC_TEXT("Would you like to keep the downloaded files?\n\nIf you keep the files, you can "
                "run Corvane Lite Installer at any time to install.",
                7, 7, 143, 42),
    DEFAULT_BUTTON(IDOK, "&Keep files", 162, 7, 50, 14),
    PUSH_BUTTON(IDC_SECOND_CHOICE, "&Delete files", 162, 26, 50, 14),
};

const ControlCase kHttpSettingsControls[] = {
    STATIC_TEXT("Corvane Lite Installer could not create an HTTP connection for this session. "
                "Please enter the correct settings below, or click Cancel to quit.",
                14, 10, 174, 28),
    GROUP_BOX("URL", 7, 39, 189, 71),
    STATIC_TEXT("&Address : ", 21, 55, 47, 8),
    EDIT_FIELD(IDC_ADDRESS, 71, 54, 116, 12, WS_DISABLED),
    STATIC_TEXT("&User name : ", 21, 72, 47, 8),
    EDIT_FIELD(IDC_SITE_USER, 71, 71, 116, 12, 0),
    STATIC_TEXT("&Password : ", 21, 89, 47, 8),
    EDIT_FIELD(IDC_SITE_PASSWORD, 71, 88, 116, 12, ES_PASSWORD),
    GROUP_BOX("Proxy Settings", 7, 118, 189, 87),
    STATIC_TEXT("A&ddress : ", 21, 134, 47, 8),
    EDIT_FIELD(IDC_PROXY_HOST, 72, 133, 116, 12, 0),
    STATIC_TEXT("P&ort :", 21, 151, 47, 8),
    EDIT_FIELD(IDC_PROXY_PORT, 72, 150, 116, 12, 0),
    STATIC_TEXT("User &name : ", 21, 168, 47, 8),
    EDIT_FIELD(IDC_PROXY_USER, 72, 167, 116, 12, 0),
    STATIC_TEXT("Pass&word : ", 21, 185, 47, 8),
    EDIT_FIELD(IDC_PROXY_PASSWORD, 72, 184, 116, 12, ES_PASSWORD),
    DEFAULT_BUTTON(IDOK, "OK", 50, 212, 50, 14),
    PUSH_BUTTON(IDC_SECOND_CHOICE, "Cancel", 104, 212, 50, 14),
};

#define CONTROLS(table) table, static_cast<int>(sizeof(table) / sizeof(table[0]))

const DialogCase kDialogs[] = {
    {IDD_DOWNLOAD, "Downloading Software...", 249, 111, kPromptFrame | WS_SYSMENU | WS_MINIMIZEBOX,
     CONTROLS(kDownloadControls)},
    {IDD_WELCOME, "Corvane Lite Installer", 257, 59, kPromptFrame, CONTROLS(kWelcomeControls)},
    {IDD_READY_TO_INSTALL, "Ready to Install", 212, 47, kPromptFrame, CONTROLS(kReadyControls)},
    {IDD_CANCEL_INSTALLATION, "Cancel Installation", 219, 56, kPromptFrame,
     CONTROLS(kCancelControls)},
    {IDD_HTTP_SETTINGS, "HTTP Settings", 203, 233, kPromptFrame, CONTROLS(kHttpSettingsControls)},
};

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Whether a static text's words, wrapped as the control wraps them in its font, fit its
// height: a text that needs one line more than its control has is cut off at the bottom.
// Run at each display scale by the screenshot test.
void ExpectTextFits(HWND control) {
    char text[kTextSize] = {0};
    GetWindowTextA(control, text, kTextSize);
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT needed = {0, 0, client.right, 0};
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    EXPECT_LE(needed.bottom, client.bottom)
        << "\"" << text << "\" needs " << needed.bottom << " pixels, has " << client.bottom;
}

const DialogCase& FindDialog(int templateId) {
    for (const DialogCase& dialog : kDialogs) {
        if (dialog.templateId == templateId) return dialog;
    }
    return kDialogs[0];
}

// The control's rectangle in the dialog's client coordinates against the template's
// rectangle in dialog units. The right and bottom edges may differ by one pixel because
// the dialog manager rounds the size and MapDialogRect rounds the far edge.
void ExpectPlacement(HWND dialog, HWND control, const ControlCase& expected) {
    RECT want = {expected.x, expected.y, expected.x + expected.width, expected.y + expected.height};
    ASSERT_TRUE(MapDialogRect(dialog, &want));
    RECT have;
    ASSERT_TRUE(GetWindowRect(control, &have));
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&have), 2);
    EXPECT_EQ(want.left, have.left);
    EXPECT_EQ(want.top, have.top);
    EXPECT_NEAR(want.right, have.right, 1);
    EXPECT_NEAR(want.bottom, have.bottom, 1);
}

// The item styles as the template holds them, in template order. Some controls rewrite
// their border when they are created (the progress bar drops WS_BORDER, a sunken static
// gains an edge), so the border is checked here. Returns the number of items, or -1 for a template
// this walker does not understand.
int ReadTemplateStyles(int templateId, DWORD* styles, int capacity) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(instance, MAKEINTRESOURCEA(templateId), RT_DIALOG);
    if (!info) return -1;
    const BYTE* start = static_cast<const BYTE*>(LockResource(LoadResource(instance, info)));
    const BYTE* end = start + SizeofResource(instance, info);
    const DLGTEMPLATE* header = reinterpret_cast<const DLGTEMPLATE*>(start);
    if (!start || end - start < static_cast<ptrdiff_t>(sizeof(DLGTEMPLATE)) ||
        HIWORD(header->style) == 0xFFFF || header->cdit > capacity) {
        return -1;  // too short, a DIALOGEX template, or too many items
    }
    const WORD* word = reinterpret_cast<const WORD*>(start + sizeof(DLGTEMPLATE));
    auto skipNameOrOrdinal = [&]() {
        if (*word == 0xFFFF) {
            word += 2;
            return;
        }
        while (reinterpret_cast<const BYTE*>(word) < end && *word) ++word;
        ++word;
    };
    skipNameOrOrdinal();  // menu
    skipNameOrOrdinal();  // class
    skipNameOrOrdinal();  // title
    if (header->style & DS_SETFONT) {
        ++word;  // point size
        skipNameOrOrdinal();
    }
    for (int i = 0; i < header->cdit; ++i) {
        uintptr_t offset = reinterpret_cast<uintptr_t>(word) - reinterpret_cast<uintptr_t>(start);
        const BYTE* item = start + ((offset + 3) & ~uintptr_t(3));
        if (end - item < static_cast<ptrdiff_t>(sizeof(DLGITEMTEMPLATE))) return -1;
        styles[i] = reinterpret_cast<const DLGITEMTEMPLATE*>(item)->style;
        word = reinterpret_cast<const WORD*>(item + sizeof(DLGITEMTEMPLATE));
        skipNameOrOrdinal();        // class
        skipNameOrOrdinal();        // text
        if (*word != 0) return -1;  // creation data: none of ours has any
        ++word;
    }
    return header->cdit;
}

void ExpectControl(HWND dialog, HWND control, const ControlCase& expected) {
    EXPECT_EQ(expected.id, GetDlgCtrlID(control));

    char className[kTextSize] = {0};
    GetClassNameA(control, className, kTextSize);
    EXPECT_TRUE(EqualsIgnoringCase(expected.className, className)) << className;

    char text[kTextSize] = {0};
    GetWindowTextA(control, text, kTextSize);
    EXPECT_STREQ(expected.text, text);

    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
    EXPECT_EQ(expected.style, style & expected.styleMask)
        << std::hex << "style 0x" << style << " mask 0x" << expected.styleMask;
    EXPECT_TRUE((style & WS_VISIBLE) != 0);

    ExpectPlacement(dialog, control, expected);
}

void ExpectDialog(int templateId) {
    const DialogCase& expected = FindDialog(templateId);
    ASSERT_EQ(templateId, expected.templateId);
    InitCommonControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                     nullptr, InertDialogProc, 0);
    ASSERT_NE(nullptr, dialog) << "error " << GetLastError();

    char caption[kTextSize] = {0};
    GetWindowTextA(dialog, caption, kTextSize);
    EXPECT_STREQ(expected.caption, caption);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE));
    EXPECT_EQ(expected.frameStyle, style & kFrameBits) << std::hex << "style 0x" << style;
    EXPECT_FALSE(IsWindowVisible(dialog));

    RECT want = {0, 0, expected.width, expected.height};
    ASSERT_TRUE(MapDialogRect(dialog, &want));
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(want.right, client.right);
    EXPECT_EQ(want.bottom, client.bottom);

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    ASSERT_NE(0, GetObjectA(font, sizeof(logFont), &logFont));
    EXPECT_STREQ("MS Sans Serif", logFont.lfFaceName);

    const int kMostControls = 32;
    DWORD templateStyles[kMostControls];
    ASSERT_EQ(expected.controlCount, ReadTemplateStyles(templateId, templateStyles, kMostControls));

    HWND control = GetWindow(dialog, GW_CHILD);
    for (int i = 0; i < expected.controlCount; ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i << " (" << expected.controls[i].id
                                        << " \"" << expected.controls[i].text << "\")");
        ASSERT_NE(nullptr, control);
        ExpectControl(dialog, control, expected.controls[i]);
        if (lstrcmpA(expected.controls[i].className, "Static") == 0) ExpectTextFits(control);
        EXPECT_EQ(expected.controls[i].border, (templateStyles[i] & WS_BORDER) != 0);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, control) << "more controls than expected";
    DestroyWindow(dialog);
}

TEST(Resources, DownloadDialog) { ExpectDialog(IDD_DOWNLOAD); }

TEST(Resources, WelcomePrompt) { ExpectDialog(IDD_WELCOME); }

TEST(Resources, ReadyToInstallPrompt) { ExpectDialog(IDD_READY_TO_INSTALL); }

TEST(Resources, CancelInstallationPrompt) { ExpectDialog(IDD_CANCEL_INSTALLATION); }

TEST(Resources, HttpSettingsDialog) { ExpectDialog(IDD_HTTP_SETTINGS); }

struct StringCase {
    UINT id;
    const char* text;
};

const StringCase kStrings[] = {
    {IDS_APP_TITLE, "Corvane Lite Installer"},
    {IDS_WINSOCK_ERROR, "Cannot initialize WinSock."},
    {IDS_TEMP_DIR_ERROR, "Cannot create temp directory for download"},
    {IDS_WORK_DIR_KEY, "Software\\Corvane\\CvGet"},
    {IDS_EXTRACT_TITLE, "Corvane"},
    {IDS_STATUS_ALREADY_INSTALLED, "Already installed"},
    {IDS_STATUS_DOWNLOADED, "Has been downloaded."},
    {IDS_STATUS_NEEDS_DOWNLOAD, "Need to download."},
    {IDS_STATUS_DOWNLOAD_ERROR, "Download error"},
    {IDS_STATUS_DOWNLOADING, "Downloading..."},
    {IDS_STATUS_EXTRACTING, "Extracting files..."},
    {IDS_STATUS_INSTALLING, "Installing..."},
    {IDS_STATUS_INSTALL_DONE, "Installation done."},
    {IDS_COLUMN_COMPONENT, "Component"},
    {IDS_COLUMN_SIZE, "Size"},
    {IDS_COLUMN_STATUS, "Status"},
    {IDS_DOWNLOADING_FILE, "Downloading file '%s'..."},
    {IDS_CONNECTING, "Connecting to '%s'..."},
    {IDS_CONNECT_ERROR, "Error: Unable to connect to '%s'."},
    {IDS_RECEIVE_ERROR, "Error in receiving file '%s' from '%s'."},
    {IDS_DOWNLOAD_INCOMPLETE,
     "Corvane Lite Installer was unable to download all the needed software, possibly due to a "
     "communication error. Installation cannot start. Try running the Corvane Lite Installer "
     "again later."},
    {IDS_DOWNLOAD_PROGRESS, "Downloading file '%s' (%dK of %dK)..."},
    {IDS_ALL_DOWNLOADED, "All Components have been downloaded."},
    {IDS_INSTALLING, "Installing '%s'..."},
    {IDS_EXTRACTING, "Extracting '%s'..."},
    {IDS_FILES_MISSING, "Some Corvane files are missing. Installation cannot proceed."},
    {IDS_DISK_FULL,
     "Error while downloading %1: Out of disk space. Remove some files and run again."},
    {IDS_WRITE_DENIED,
     "Error while downloading %1: The file could not be written (access denied, or in use by "
     "another program)."},
    {IDS_WAITING_FOR_NETWORK, "Waiting for the network... (trying again in %1 s)"},
    {IDS_NOT_AUTHENTIC,
     "%1 is not the publisher's file: its signature or checksum does not match. "
     "It will not be installed."},
    {IDS_KEY_INVALID,
     "%1 cannot be checked: the publisher key in the installer is not valid. "
     "Nothing will be installed."},
    {IDS_CANNOT_VERIFY,
     "%1 cannot be checked: this version of Windows cannot verify the "
     "publisher's signature (SHA-256). Nothing will be installed."},
    {IDS_STEP_FAILED,
     "Error while installing component '%s': %s failed. Nothing after it was installed."},
    {IDS_UNVERIFIED_SOURCE,
     "%1 will not be downloaded or installed: the publisher's key is in force, but this "
     "component is neither signed nor pinned (sha256), so anyone on the network could change "
     "it."},
    {IDS_SUSPENDED,
     "Downloading has been suspended.\nYou can resume downloading at any time, from where you "
     "left off, by double-clicking the Corvane Lite Installer icon in your Windows taskbar."},
    {IDS_CONFIRM_QUIT,
     "Are you sure you would like to quit downloading? All downloaded files will be deleted."},
    {IDS_MULTIPLE_INSTANCES, "You may not run multiple instances of this application."},
    {IDS_ASK_RESTART,
     "Corvane Lite Installer is now ready to resume downloading.\nClick Yes to resume "
     "downloading now, No to postpone downloading, or Cancel to terminate the downloading "
     "process."},
    {IDS_EXTRACT_ERROR, "Error while extracting temporary files. You may be out of disk space."},
    {IDS_INSTALL_ERROR, "Error while installing component '%s'."},
    {IDS_NO_DESCRIPTION,
     "This installer holds no description of components. It may be damaged; download it "
     "again from its publisher."},
    {IDS_PACKAGE_WRONG_NAME,
     "The package on the server is not %1: it was signed for another file. It will not be "
     "installed."},
    {IDS_PACKAGE_TOO_OLD,
     "The package of %1 on the server is older than this installer requires. It will not be "
     "installed."},
    {IDS_PACKAGE_EXPIRED, "The package of %1 on the server has expired. It will not be installed."},
    {IDS_PACKAGE_UNREADABLE,
     "The package of %1 on the server does not say readably what it is. It will not be "
     "installed."},
    {IDS_TLS_UNAVAILABLE,
     "'%s' cannot be downloaded from '%s': this version of Windows cannot make secure connections "
     "(TLS 1.2)."},
    {IDS_TLS_NO_AGREEMENT,
     "'%s' was not downloaded: the server '%s' offers no secure connection of TLS 1.2 or later."},
    {IDS_CERTIFICATE_WRONG_NAME,
     "'%s' was not downloaded: the certificate of the server '%s' is for another name. Someone may "
     "be posing as the server."},
    {IDS_CERTIFICATE_EXPIRED,
     "'%s' was not downloaded: the certificate of the server '%s' has expired or is not valid yet "
     "(check the computer's date)."},
    {IDS_CERTIFICATE_UNTRUSTED,
     "'%s' was not downloaded: the certificate of the server '%s' is not from an authority this "
     "computer trusts."},
    {IDS_CERTIFICATE_REVOKED,
     "'%s' was not downloaded: the certificate of the server '%s' has been revoked."},
    {IDS_TLS_DOWNGRADE,
     "'%s' was not downloaded: the secure server '%s' sent the download to an address that is not "
     "secure (http)."},
};

TEST(Resources, StringsLoadByteForByte) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const StringCase& expected : kStrings) {
        SCOPED_TRACE(testing::Message() << "string " << expected.id);
        char text[kTextSize];
        memset(text, 'x', sizeof(text));
        int length = LoadStringA(instance, expected.id, text, kTextSize);
        EXPECT_EQ(static_cast<int>(strlen(expected.text)), length);
        EXPECT_STREQ(expected.text, text);
    }
}

// Nothing but the listed strings exists in the range the installer uses, 516 included.
TEST(Resources, NoStringsBesideTheListedOnes) {
    const UINT kLastIdChecked = 1023;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (UINT id = 0; id <= kLastIdChecked; ++id) {
        bool listed = false;
        for (const StringCase& expected : kStrings) listed = listed || expected.id == id;
        if (listed) continue;
        char text[kTextSize] = {0};
        EXPECT_EQ(0, LoadStringA(instance, id, text, kTextSize)) << "string " << id << " exists";
    }
    char text[kTextSize] = {0};
    EXPECT_EQ(0, LoadStringA(instance, 516, text, kTextSize));
}

TEST(Resources, TrayMenu) {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(1, GetMenuItemCount(menu));
    char text[kTextSize] = {0};
    GetMenuStringA(menu, 0, text, kTextSize, MF_BYPOSITION);
    EXPECT_STREQ("file", text);

    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(nullptr, popup);
    ASSERT_EQ(3, GetMenuItemCount(popup));
    struct ItemCase {
        UINT id;
        const char* text;
        bool separator;
    };
    const ItemCase kItems[] = {
        {IDM_TRAY_OPEN, "&Open", false},
        {0, "", true},
        {IDM_TRAY_QUIT, "&Quit", false},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "item " << i);
        UINT state = GetMenuState(popup, i, MF_BYPOSITION);
        EXPECT_EQ(kItems[i].separator, (state & MF_SEPARATOR) != 0);
        if (kItems[i].separator) continue;
        EXPECT_EQ(0u, state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP));
        EXPECT_EQ(kItems[i].id, GetMenuItemID(popup, i));
        char itemText[kTextSize] = {0};
        GetMenuStringA(popup, i, itemText, kTextSize, MF_BYPOSITION);
        EXPECT_STREQ(kItems[i].text, itemText);
    }
    DestroyMenu(menu);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

// Each size a scaled display asks for is really in the icon (not scaled from another by
// the system): small icons at 100%, 125%, 150% and 200%, large ones at 100% and 150%;
// 16 colours with a mask, and the system loads it at that size.
TEST(Resources, IconHoldsSixteenColourImagesOfEachScale) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC groupInfo = FindResourceA(instance, MAKEINTRESOURCEA(IDI_INSTALLER), RT_GROUP_ICON);
    ASSERT_NE(nullptr, groupInfo);
    const IconGroupHeader* group =
        static_cast<const IconGroupHeader*>(LockResource(LoadResource(instance, groupInfo)));
    ASSERT_NE(nullptr, group);
    const int kSizes[] = {16, 20, 24, 32, 48};
    ASSERT_EQ(static_cast<int>(sizeof(kSizes) / sizeof(kSizes[0])), group->count);

    for (int size : kSizes) {
        SCOPED_TRACE(testing::Message() << size << "x" << size);
        BYTE* directory = reinterpret_cast<BYTE*>(const_cast<IconGroupHeader*>(group));
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(0, id);
        HRSRC imageInfo = FindResourceA(instance, MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_NE(nullptr, imageInfo);
        const BITMAPINFOHEADER* header =
            static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(instance, imageInfo)));
        ASSERT_NE(nullptr, header);
        EXPECT_EQ(size, header->biWidth);
        EXPECT_EQ(2 * size, header->biHeight);  // colour image and AND mask
        EXPECT_EQ(4, header->biBitCount);
        const DWORD kPaletteBytes = 16 * sizeof(RGBQUAD);
        DWORD colourRow = ((size * 4 + 31) / 32) * 4;
        DWORD maskRow = ((size + 31) / 32) * 4;
        EXPECT_EQ(sizeof(BITMAPINFOHEADER) + kPaletteBytes + (colourRow + maskRow) * size,
                  SizeofResource(instance, imageInfo));

        HICON icon = static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(IDI_INSTALLER), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask = {};
        GetObjectA(info.hbmMask, sizeof(mask), &mask);
        EXPECT_EQ(size, mask.bmWidth);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// The manifest's common controls of version 6, loaded through the image's loader hook
// (this program carries the same manifest and links the same hook): the library is the
// side-by-side store's, and the buttons of the process are its own (drawn in the visual
// style), not the system's buttons of user32 that version 5 leaves in place.
TEST(Resources, ManifestBringsTheCommonControlsOfVersionSix) {
    InitCommonControls();  // the first call loads the library
    HMODULE library = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(nullptr, library);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(library, path, MAX_PATH);
    CharLowerA(path);
    EXPECT_NE(nullptr, strstr(path, "\\winsxs\\")) << path;

    HWND button = CreateWindowExA(0, "Button", "OK", WS_POPUP | BS_PUSHBUTTON, 0, 0, 80, 24,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, button);
    // The class's own procedure: the wide query, as an ANSI one of a Unicode class gives a
    // thunk.
    auto procedure = reinterpret_cast<LPCSTR>(GetClassLongPtrW(button, GCLP_WNDPROC));
    HMODULE owner = nullptr;
    EXPECT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        procedure, &owner));
    EXPECT_EQ(library, owner);
    DestroyWindow(button);
}

}  // namespace
