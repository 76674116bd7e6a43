// TolvanePacker.exe: packs game mods into mod archives from a small window.
// The command line is not used.
#include <windows.h>
#include <objbase.h>

#include "app/controls.h"
#include "app/failure_box.h"
#include "app/file_dialog.h"
#include "app/main_loop.h"
#include "app/main_window.h"
#include "app/resources/resource_ids.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showMode)
{
    // The icon is a shared resource icon and needs no release; the bitmap and
    // the brush made from it are deleted after a normal end.
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPICON));
    HBITMAP background = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BACKGROUND));
    HBRUSH backgroundBrush = CreatePatternBrush(background);

    if (RegisterMainWindowClass(instance, icon, backgroundBrush) == 0) {
        ShowFailureBox(L"Could not register window class!\nExiting application!", L"Fatal Error");
        return -1;
    }
    HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        ShowFailureBox(L"Could not create program window!\nExiting application!", L"Fatal Error");
        return -1;
    }
    ShowWindow(window, showMode);

    // The font and the window live until the process ends.
    HFONT font = CreateMessageFont();
    CreateMainWindowControls(window, instance, font);

    CoInitialize(nullptr);
    IFileOpenDialog* dialog = CreateModFileDialog();
    if (dialog == nullptr)
        return -1;

    if (RunMainLoop(dialog) != 0)
        return -1;

    dialog->Release();
    CoUninitialize();
    DeleteObject(backgroundBrush);
    DeleteObject(background);
    return 0;
}
