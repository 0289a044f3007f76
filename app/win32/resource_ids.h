#pragma once
// Resource and command ids shared by vt4r.rc and the code.
#define IDD_MAIN_WINDOW 997
#define IDD_PREFERENCES 998
#define IDR_MAIN_MENU 1001

#define IDM_PREFERENCES 40000
#define IDM_QUIT 40001
#define IDM_ABOUT 40002

// The View menu's zoom items, in menu order.
#define IDM_ZOOM_100 40003
#define IDM_ZOOM_150 40004
#define IDM_ZOOM_200 40005
#define IDM_ZOOM_300 40006
#define IDM_ZOOM_DESKTOP 40007
