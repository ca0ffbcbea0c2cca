// The command numbers of the Function menu's items: the numbers the product has always used.
// The face rules list them; the editor's resources and window take them from here.
#pragma once

// The rename button's number; the Function menu's rename item carries the same command.
#define IDC_RENAME 11
#define IDM_COPY 4100
#define IDM_OPEN_COPY_FOLDER 4101
#define IDM_MPMAN 4102
#define IDM_OPTIONS 4103
#define IDM_ADD_TO_PLAYLIST 4104
#define IDM_WINAMP 4105
