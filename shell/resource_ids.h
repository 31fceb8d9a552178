// Identifiers of the installer's resources: dialogs, controls, menu, icon and
// strings. Shared by the resource script and the code; no windows.h here.
#pragma once

// Dialog templates.
#define IDD_DOWNLOAD 101
#define IDD_READY_TO_INSTALL 104
#define IDD_WELCOME 105
#define IDD_CANCEL_INSTALLATION 106
#define IDD_HTTP_SETTINGS 108

// Menu and icon.
#define IDR_TRAY_MENU 107
#define IDI_INSTALLER 106
#define IDM_TRAY_QUIT 40002
#define IDM_TRAY_OPEN 40003

// Controls and end codes. 1, 2, 1003, 1004 and 1009 are the end codes of every dialog.
#define IDC_STATIC_TEXT 65535
#define IDC_COMPONENT_LIST 1000
#define IDC_PROGRESS 1001
#define IDC_STATUS_TEXT 1002
#define IDC_QUIT 1003
#define IDC_SUSPEND 1004
#define IDC_PROXY_HOST 1005
#define IDC_PROXY_USER 1006
#define IDC_PROXY_PASSWORD 1007
#define IDC_PROXY_PORT 1008
// The second button of prompts 104, 105, 106 and 108 (Exit, Cancel, Delete files,
// Cancel); Win32's IDCANCEL (2) is Escape.
#define IDC_SECOND_CHOICE 1009
#define IDC_ADDRESS 1010
#define IDC_SITE_USER 1012
#define IDC_SITE_PASSWORD 1013

// Strings.
#define IDS_APP_TITLE 16
#define IDS_WINSOCK_ERROR 17
#define IDS_TEMP_DIR_ERROR 18
#define IDS_WORK_DIR_KEY 19
#define IDS_EXTRACT_TITLE 20
#define IDS_STATUS_ALREADY_INSTALLED 512
#define IDS_STATUS_DOWNLOADED 513
#define IDS_STATUS_NEEDS_DOWNLOAD 514
#define IDS_STATUS_DOWNLOAD_ERROR 515
#define IDS_STATUS_DOWNLOADING 517
#define IDS_STATUS_EXTRACTING 518
#define IDS_STATUS_INSTALLING 519
#define IDS_STATUS_INSTALL_DONE 520
#define IDS_COLUMN_COMPONENT 578
#define IDS_COLUMN_SIZE 579
#define IDS_COLUMN_STATUS 580
#define IDS_DOWNLOADING_FILE 581
#define IDS_CONNECTING 582
#define IDS_CONNECT_ERROR 583
#define IDS_RECEIVE_ERROR 584
#define IDS_DOWNLOAD_INCOMPLETE 585
#define IDS_DOWNLOAD_PROGRESS 586
#define IDS_ALL_DOWNLOADED 587
#define IDS_INSTALLING 588
#define IDS_EXTRACTING 589
#define IDS_FILES_MISSING 590
#define IDS_DISK_FULL 591
#define IDS_SUSPENDED 592
#define IDS_CONFIRM_QUIT 593
#define IDS_MULTIPLE_INSTANCES 594
#define IDS_ASK_RESTART 595
#define IDS_EXTRACT_ERROR 596
#define IDS_INSTALL_ERROR 597
// A local file could not be written for another reason than a full disk.
#define IDS_WRITE_DENIED 598
// No server answered yet: the status line while the installer waits for the network.
#define IDS_WAITING_FOR_NETWORK 599
// A publisher's key or pinned digests are in force: the file does not match what the
// publisher signed or pinned, the key in the description does not parse, or this system
// cannot check SHA-256 signatures.
#define IDS_NOT_AUTHENTIC 600
#define IDS_KEY_INVALID 601
#define IDS_CANNOT_VERIFY 602
// An install action or registry section failed: the component and the entry are named.
#define IDS_STEP_FAILED 603
// The installer's payload holds no description (none appended, a damaged trailer, no
// ".inf" record): nothing to download or install.
#define IDS_NO_DESCRIPTION 610
// A publisher's key is in force and the signed package is not the file asked for, is older
// than the component requires, has expired, or does not say readably what it is.
#define IDS_PACKAGE_WRONG_NAME 700
#define IDS_PACKAGE_TOO_OLD 701
#define IDS_PACKAGE_EXPIRED 702
#define IDS_PACKAGE_UNREADABLE 703
#define IDS_TLS_UNAVAILABLE 710
#define IDS_TLS_NO_AGREEMENT 711
#define IDS_CERTIFICATE_WRONG_NAME 712
#define IDS_CERTIFICATE_EXPIRED 713
#define IDS_CERTIFICATE_UNTRUSTED 714
#define IDS_CERTIFICATE_REVOKED 715
#define IDS_TLS_DOWNGRADE 716
// A network component that nothing vouches for while the publisher's key is in force.
#define IDS_UNVERIFIED_SOURCE 750
