// Driving the system's file-open dialog from outside the program.
//
// The dialog is a "#32770" top-level window of the program's process that
// holds a file name box and an Open button (IDOK). The file name box differs
// between systems: Windows puts an edit control inside the combo box with id
// 0x47C (cmb13); Wine's dialog has a plain edit control with id 0x480 (edt1).
// Both take a list of quoted names, "a.tvx" "b.tvx", relative to the folder
// the dialog shows. Pressing IDOK (or IDCANCEL) is done by posting BM_CLICK
// to the button, exactly what a mouse click does.
#pragma once

#include <windows.h>

#include <string>

// Waits for the program's file-open dialog; null if it did not appear.
HWND WaitForOpenDialog(DWORD processId, DWORD timeoutMs);

// The edit control that takes the file names, or null.
HWND FileNameBox(HWND dialog);

// Types the names into the file name box and presses Open; false when the
// box could not be found or did not take the text.
bool ChooseFiles(HWND dialog, const std::wstring& names);

// Presses Cancel.
void CancelDialog(HWND dialog);
