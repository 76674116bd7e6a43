// The main window's contents: four push buttons, the "Output" group box and
// the output pane, all in the system's message font.
#pragma once

#include <windows.h>

// The system's message font, made once; it lives until the process ends.
HFONT CreateMessageFont();

// Creates the six controls in their fixed order and sets g_hOutput to the pane.
void CreateMainWindowControls(HWND window, HINSTANCE instance, HFONT font);
