// The window program's output pane, which the output log writes to.
#pragma once

#include "platform/platform.h"

// The pane's handle, set once when the main window is built.
extern HWND g_hOutput;
