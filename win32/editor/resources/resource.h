// Resource numbers of the editor: the numbers the product has always used.
#pragma once

// The Function menu's commands, which the core's face rules list.
#include "core/face/commands.h"

#define IDD_READ_ONLY 135
#define IDD_OPTIONS 136
#define IDD_RENAME 137
#define IDD_REPLACE_CHARS 138
#define IDD_CONVERT 141
#define IDD_MAIN 142
#define IDS_OWNER_CLASS 109
#define IDI_TAGZO 101

#define IDB_EDGE 156
#define IDB_GREEN 157
#define IDB_DARK 158
#define IDB_YELLOW 159
#define IDB_RED 160

// Dialog 142
#define IDC_TITLE 1000
#define IDC_FILE_BOX 1001
#define IDC_ARTIST 1012
#define IDC_ALBUM 1018
#define IDC_YEAR 1019
#define IDC_COMMENT 1020
#define IDC_AUTO_PLAY 1028
#define IDC_VOLUME 1036
#define IDC_POSITION 1038
#define IDC_STATUS 1040
#define IDC_CARRY_OVER 1046
#define IDC_FUNCTION 1064
#define IDC_MODE 1066
#define IDC_CLOSE_X 2
#define IDC_UNDO 8
#define IDC_APPLY 9
#define IDC_PLAY 13
#define IDC_STOP 14
#define IDC_PAUSE 15
#define IDC_OK 16
#define IDC_CANCEL 17
#define IDC_FILE_MENU 18

// Question dialogs
#define IDC_ANSWER_YES 1
#define IDC_ANSWER_NO 2
#define IDC_NEVER_ASK 1028
#define IDC_NEW_NAME 1029
#define IDC_OLD_NAME 1030

// Options dialog 136
#define IDC_OPT_OK 6
#define IDC_OPT_CANCEL_OTHER 7
#define IDC_OPT_RENAME_AFTER_UPDATE 1024
#define IDC_OPT_ASK_RENAME 1025
#define IDC_OPT_FIX_POSITION 1026
#define IDC_OPT_ASK_READ_ONLY 1027
#define IDC_OPT_ASK_CHAR_REPLACE 1028
#define IDC_OPT_QUIT_AFTER_APPLY 1029
#define IDC_OPT_ASK_RMP 1031
#define IDC_OPT_CHOOSE_COPY 1058
#define IDC_OPT_CHOOSE_START 1059
#define IDC_OPT_COPY_FOLDER 1061
#define IDC_OPT_START_FOLDER 1062
#define IDC_OPT_DISPLAY_NAME 1064
#define IDC_OPT_PATTERN_0 1067
#define IDC_OPT_PATTERN_1 1068

// Owner-drawn menu items
#define IDM_OPEN_CURRENT_FOLDER 3994
#define IDM_OPEN_FILE 3999
#define IDM_FILE_LIST 4000
#define IDC_OPTIONS 1039
#define IDC_OPEN_DIALOG 3998

// Menu items that carry no command
#define IDM_INFO 10
#define IDM_READ_ONLY 99990
