// The message box that reports a failure of the window, the dialog or the
// batch: no owner window, type MB_OK. The caller then ends the program.
#pragma once

#include <windows.h>

inline void ShowFailureBox(const WCHAR* text, const WCHAR* caption)
{
    MessageBoxW(nullptr, text, caption, MB_OK);
}
