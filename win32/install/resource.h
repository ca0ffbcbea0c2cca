// Resource numbers of the installer: the numbers the product has always used.
#pragma once

#define IDD_INSTALL 129
#define IDB_MENU_PICTURE 130
#define IDI_INSTALL 101

// Dialog 129
#define IDC_MENU_ENTRY 1000
#define IDC_SHORTCUT 1001
#define IDC_INSTALL_FOLDER 1002
#define IDC_MODE_DEFAULT 1003
#define IDC_MODE_SLOW_MACHINE 1004
// Buttons 1 (start) and 2 (cancel) are IDOK and IDCANCEL.
