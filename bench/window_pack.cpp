// Times the window program packing one mod as a user does it: starts
// TolvanePacker.exe in the mod file's folder, presses "Select Tolvane mod",
// types the mod file's name into the file dialog and presses Open, and waits
// until the program takes messages again, which it does only once the batch
// is over; the pane must then end with the mod's success line. With --watch
// it also samples the pane's pixels on the screen every 25 ms meanwhile, to
// count how often the user sees the pane change; the sampling takes enough
// of the processor to slow the program down, so a timed run goes unwatched.
//
//   window_pack APP FOLDER MODNAME [--watch]
//
// Prints "seconds S dialog D changes N": S seconds from pressing Open to the
// end of the batch, of which the dialog took D to close, and N changes of
// the pane seen meanwhile (0 unwatched); then presses Exit and ends with 0.
// On failure prints a message and ends with 1. Built by the Windows tree
// (target window_pack) and run under Wine on an X display by run_bench.py.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 30000;
constexpr int kSelectButton = 500;
constexpr int kExitButton = 503;

PROCESS_INFORMATION g_app;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "window_pack: %s\n", what);
    if (g_app.hProcess != nullptr)
        TerminateProcess(g_app.hProcess, 1);
    std::exit(1);
}

bool WaitUntil(const std::function<bool()>& condition)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(10)) {
        if (GetTickCount() - start > kWaitMs)
            return condition();
    }
    return true;
}

// A visible top-level window of the program, of this class.
HWND FindAppWindow(const wchar_t* className)
{
    for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == g_app.dwProcessId && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// The dialog's file name box: edt1 in the dialog of Wine, an edit inside the
// combo box cmb13 in that of Windows.
HWND FileNameBox(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, 0x480);
    HWND combo = GetDlgItem(dialog, 0x47C);
    if (edit == nullptr && combo != nullptr)
        edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    return edit;
}

std::wstring TextOf(HWND window)
{
    std::wstring text(1 << 16, L'\0');
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_NORMAL, kWaitMs, &length))
        return L"";
    return text.substr(0, length);
}

// The pane's pixels as the screen shows them now.
std::vector<DWORD> PanePixels(HWND pane)
{
    RECT rect = {};
    GetWindowRect(pane, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(copy, old);
    GetDIBits(copy, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Answers once the program takes a message, i.e. once its batch is over.
DWORD WINAPI WaitForIdle(void* window)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(static_cast<HWND>(window), WM_NULL, 0, 0, SMTO_NORMAL, 600000, &ignored);
    return 0;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    bool watch = argc == 5 && std::wstring(argv[4]) == L"--watch";
    if (argc != 4 && !watch)
        Fail("usage: window_pack APP FOLDER MODNAME [--watch]");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, argv[2],
                        &startup, &g_app))
        Fail("the program did not start");

    HWND window = nullptr;
    HWND pane = nullptr;
    if (!WaitUntil([&] {
            window = FindAppWindow(L"WindowClass");
            return window != nullptr && (pane = FindWindowExW(window, nullptr, L"Edit", nullptr)) != nullptr;
        }))
        Fail("no main window with its pane");
    PostMessageW(GetDlgItem(window, kSelectButton), BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    if (!WaitUntil([&] { return (dialog = FindAppWindow(L"#32770")) != nullptr && FileNameBox(dialog) != nullptr; }))
        Fail("no file dialog");
    SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));

    LARGE_INTEGER start, closed, end;
    QueryPerformanceCounter(&start);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    if (!WaitUntil([&] { return !IsWindow(dialog); }))
        Fail("the file dialog did not close");
    QueryPerformanceCounter(&closed);
    HANDLE idle = CreateThread(nullptr, 0, WaitForIdle, window, 0, nullptr);
    if (idle == nullptr)
        Fail("no thread");
    int changes = 0;
    std::vector<DWORD> shown = PanePixels(pane);
    while (WaitForSingleObject(idle, watch ? 25 : INFINITE) == WAIT_TIMEOUT) {
        std::vector<DWORD> now = PanePixels(pane);
        if (now != shown)
            ++changes;
        shown.swap(now);
    }
    QueryPerformanceCounter(&end);
    CloseHandle(idle);

    std::wstring text = TextOf(pane);
    size_t last = text.rfind(L"\r\nSuccessfully created mod archive \"");
    if (last == std::wstring::npos || text.find(L"\r\n", last + 2) + 4 != text.size())
        Fail("the pane does not end with the success line");
    std::printf("seconds %.3f dialog %.3f changes %d\n", Seconds(start, end), Seconds(start, closed), changes);

    PostMessageW(GetDlgItem(window, kExitButton), BM_CLICK, 0, 0);
    if (WaitForSingleObject(g_app.hProcess, kWaitMs) != WAIT_OBJECT_0)
        Fail("the program did not end");
    CloseHandle(g_app.hThread);
    CloseHandle(g_app.hProcess);
    return 0;
}
