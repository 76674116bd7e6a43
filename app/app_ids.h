// Command ids of the main window's push buttons.
#pragma once

#include <windows.h>

// winuser.h also names the help cursor IDC_HELP; this program never loads that
// cursor, and the name belongs to its Help button here.
#ifdef IDC_HELP
#undef IDC_HELP
#endif

#define IDC_SELECT_MOD 500
#define IDC_HELP 501
#define IDC_ABOUT 502
#define IDC_EXIT 503
