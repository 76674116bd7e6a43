// The window program's output pane, which the output log writes to.
#pragma once

#include "platform/platform.h"

// The pane's handle, set once when the main window is built.
extern HWND g_hOutput;

// Writes the progress line that is still waiting to be shown, if any. Called
// at the end of each mod, so that the pane then shows every line written.
void FlushOutputPane();
