// Reading and answering a message box of the program under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxView {
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // ids of the visible push buttons, in Z order
    HICON icon = nullptr;      // the icon shown, or null
};

// Waits for a message box of the process with this caption; null if none.
HWND WaitForMessageBox(DWORD processId, const wchar_t* caption);

MessageBoxView ReadMessageBox(HWND box);

// Presses the box's button with this id (IDOK, IDYES, ...).
void PressButton(HWND box, int id);

// Waits for the box to be gone.
bool WaitUntilClosed(HWND box);
