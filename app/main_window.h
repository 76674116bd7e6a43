// The main window: its class, the window itself and its window procedure.
#pragma once

#include <windows.h>

// Raised by the select button; the main loop clears it and opens the dialog.
extern BYTE g_selectPending;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "WindowClass" with the given icon and background brush; returns 0
// on failure, as RegisterClassExW does.
ATOM RegisterMainWindowClass(HINSTANCE instance, HICON icon, HBRUSH background);

// Creates the borderless 640 x 400 window, centred on the screen and not yet
// shown; null on failure.
HWND CreateMainWindow(HINSTANCE instance);
