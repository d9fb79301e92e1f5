#pragma once
// Resource ids of the installer executable. Plain #defines: the resource compiler reads this file
// too. Pictures chosen by screen DPI come in three sets: 100 (below 125 % of 96 DPI), 125 (125 to
// 149 %) and 150 (150 % and above).

// Application icon (16 to 256 pixels).
#define IDI_APP 100

// Dialog templates.
#define IDD_INSTALL 101
#define IDD_LICENSE 111
#define IDD_CONTAINER 122
#define IDD_UNINSTALL 123
#define IDD_WAITING 125

// Close-button skin: 4 columns (normal, pressed, hover, focus); the upper row is the image, the
// lower row its mask.
#define IDB_CLOSE_100 102
#define IDB_CLOSE_125 103
#define IDB_CLOSE_150 104
// Header ornament: the image is drawn with SRCPAINT over its mask drawn with SRCAND.
#define IDB_HEADER_100 105
#define IDB_HEADER_125 106
#define IDB_HEADER_150 107
#define IDB_HEADER_MASK_100 108
#define IDB_HEADER_MASK_125 109
#define IDB_HEADER_MASK_150 110

// Check images of the value list and the icons of its rows (16, 20 and 24 pixels each).
#define IDI_CHECKED 112
#define IDI_CHECKED_DISABLED 113
#define IDI_UNCHECKED 114
#define IDI_UNCHECKED_DISABLED 115
#define IDI_RUN_PROGRAM 116
#define IDI_RESTART 117
#define IDI_CREATE_ICON 118

// Result and question marks of the wizards' pages (75, 94 and 112 pixels each).
#define IDI_SUCCESS 119
#define IDI_FAILURE 120
#define IDI_UNINSTALL 124

// Controls of IDD_INSTALL (1001 also in IDD_UNINSTALL) and IDD_LICENSE. The plain buttons of
// IDD_LICENSE, IDD_CONTAINER and IDD_UNINSTALL use IDOK (1) and IDCANCEL (2).
#define IDC_PROGRESS 1001
#define IDC_INSTALL 1002
#define IDC_CANCEL_FINISH 1003
#define IDC_FOLDER 1004
#define IDC_CHOOSE 1005
#define IDC_LICENSE_LINK 1007
#define IDC_LICENSE_TEXT 1008
