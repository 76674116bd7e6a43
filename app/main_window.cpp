#include "app/main_window.h"

#include "app/app_ids.h"

namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 400;

void RunCommand(WORD id)
{
    switch (id) {
    case IDC_SELECT_MOD:
        // The dialog is opened by the main loop at its next idle turn, not
        // from inside this procedure.
        g_selectPending = 1;
        break;
    case IDC_HELP:
        MessageBoxW(nullptr, L"Select Tolvane mod file(s) to create mod archive(s).", L"Help",
                    MB_OK | MB_ICONQUESTION);
        break;
    case IDC_ABOUT:
        MessageBoxW(nullptr, L"Tolvane Packer v 1.0\r\n(c) Tolvane Packer developers", L"About",
                    MB_OK | MB_ICONINFORMATION);
        break;
    case IDC_EXIT:
        // Ends the main loop; the window stays until the process ends.
        PostQuitMessage(0);
        break;
    default:
        break;
    }
}

} // namespace

BYTE g_selectPending = 0;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_NCHITTEST: {
        // The whole background acts as a caption, so the borderless window
        // can be dragged by any point that is not a control.
        LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
        return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_COMMAND:
        RunCommand(LOWORD(wParam));
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

ATOM RegisterMainWindowClass(HINSTANCE instance, HICON icon, HBRUSH background)
{
    WNDCLASSEXW windowClass;
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = L"WindowClass";
    windowClass.hIconSm = nullptr;
    return RegisterClassExW(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance)
{
    // Signed division truncates toward zero, also on a screen narrower than
    // the window.
    int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    return CreateWindowExW(0, L"WindowClass", L"Tolvane Packer", WS_POPUP, x, y, kWindowWidth,
                           kWindowHeight, nullptr, nullptr, instance, nullptr);
}
