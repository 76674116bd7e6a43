// The one file-open dialog of a run: several mod files may be chosen, one
// filter "Tolvane mod" (*.tvx), starting in the directory current at start-up.
#pragma once

#include <windows.h>
#include <shobjidl.h>

// Creates and sets up the dialog. On a failure shows its "Fatal Error" box and
// returns null; the caller then ends the program without releasing anything.
IFileOpenDialog* CreateModFileDialog();
