// The program's main loop: dispatches window messages without ever waiting,
// and packs a batch of mod files whenever the select button was pressed.
#pragma once

#include <windows.h>
#include <shobjidl.h>

// Runs until the quit message has been taken; returns 0 then. Returns -1 at
// once after a batch failure's message box, releasing nothing.
int RunMainLoop(IFileOpenDialog* dialog);
