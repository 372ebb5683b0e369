// Resource and control identifiers, shared by wendrik.rc and the code.
// The numbers are those of the dialog templates; each block is one dialog.
#pragma once

// Dialog templates
#define IDD_MAIN_320        1001
#define IDD_CHOOSER         1002
#define IDD_MAIN_480        1003
#define IDD_MAIN_240        1004
#define IDD_CHOOSER_240     1005
#define IDD_SEARCH          1006

// Icon group and version block
#define IDI_WENDRIK         8001
#define IDV_VERSION         1

// Main window (templates 1001, 1003, 1004); IDOK saves, IDCANCEL is "esc"
#define IDC_MAIN_TOURLIST   4001
#define IDC_MAIN_TOURNEW    4002
#define IDC_MAIN_TPDELETE   4003
#define IDC_MAIN_WPINSERT   4004
#define IDC_MAIN_WPAPPEND   4005
#define IDC_MAIN_POIFILE    4006
#define IDC_MAIN_WAYPOINTS  4007
#define IDC_MAIN_TOURLABEL  4008
#define IDC_MAIN_WPLABEL    4009
#define IDC_MAIN_TOURFILE   4014
#define IDC_MAIN_SEARCH     4015

// File chooser (templates 1002, 1005); IDOK takes the choice, IDCANCEL is "esc"
#define IDC_CHOOSER_LIST    4010
#define IDC_CHOOSER_DOWN    4012
#define IDC_CHOOSER_UP      4013

// Proximity search (template 1006)
#define IDC_SEARCH_LAT      4018
#define IDC_SEARCH_LON      4019
#define IDC_SEARCH_KEY7     4020
#define IDC_SEARCH_KEY8     4021
#define IDC_SEARCH_KEY9     4022
#define IDC_SEARCH_KEY4     4023
#define IDC_SEARCH_KEY5     4024
#define IDC_SEARCH_KEY6     4025
#define IDC_SEARCH_KEY1     4026
#define IDC_SEARCH_KEY2     4027
#define IDC_SEARCH_KEY3     4028
#define IDC_SEARCH_KEY0     4029
#define IDC_SEARCH_KEYPOINT 4030
#define IDC_SEARCH_KEYMINUS 4031
#define IDC_SEARCH_BACK     4034
#define IDC_SEARCH_FIND     4035
#define IDC_SEARCH_RESULTS  4036
#define IDC_SEARCH_CLOSE    4037
#define IDC_SEARCH_OK       4038
#define IDC_SEARCH_POSITION 6001
#define IDC_SEARCH_CLEAR    6002
#define IDC_SEARCH_NORTH    6003
#define IDC_SEARCH_EAST     6004
#define IDC_SEARCH_TOUREND  6005
