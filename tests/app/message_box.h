// Reading and answering a message box of the program under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxView {
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;     // ids of the visible push buttons, in Z order
    HWND defaultButton = nullptr; // the visible button drawn as the default
    HWND iconWindow = nullptr;    // the control showing the icon, or null
};

// Waits for a message box of the process with this caption; null if none.
HWND WaitForMessageBox(DWORD processId, const wchar_t* caption);

MessageBoxView ReadMessageBox(HWND box);

// Which of the system's message box icons (IDI_HAND, IDI_QUESTION,
// IDI_EXCLAMATION, IDI_ASTERISK, as their numbers) the box shows, found by
// comparing its pixels on the screen with each icon drawn here; 0 when it
// shows none of them. Icon handles cannot be compared across processes.
ULONG_PTR ShownStandardIcon(const MessageBoxView& view);

// Presses the box's button with this id (IDOK, IDYES, ...).
void PressButton(HWND box, int id);

// Waits for the box to be gone.
bool WaitUntilClosed(HWND box);
