#include "tests/app/driver.h"

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM found)
{
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

bool IsClass(HWND window, const wchar_t* className)
{
    return window != nullptr && _wcsicmp(ClassOf(window).c_str(), className) == 0;
}

HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                           const std::function<bool(HWND)>& accept = nullptr)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : TopLevelWindows(processId, className, caption)) {
            if (IsWindowVisible(window) && (accept == nullptr || accept(window)))
                return (found = window) != nullptr;
        }
        return false;
    });
    return found;
}

// Windows keeps the name box inside the combo box cmb13 (0x47C); Wine's
// dialog has a plain edit control edt1 (0x480).
HWND FileNameBox(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, 0x480);
    if (IsClass(edit, L"Edit"))
        return edit;
    HWND combo = GetDlgItem(dialog, 0x47C);
    for (HWND child : combo != nullptr ? Descendants(combo) : std::vector<HWND>{}) {
        if (IsClass(child, L"Edit"))
            return child;
    }
    return nullptr;
}

// 32 bits per pixel, top-down.
BITMAPINFOHEADER ImageHeader(int width, int height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biSizeImage = static_cast<DWORD>(width * height * 4);
    return header;
}

ULONG_PTR MatchStandardIcon(const MessageBoxView& view)
{
    RECT rect = {};
    if (view.iconWindow == nullptr || !GetWindowRect(view.iconWindow, &rect))
        return 0;
    std::vector<DWORD> shown = CaptureScreen(rect);
    if (shown.empty())
        return 0;
    // The icons' corners are transparent: the box's background shows there.
    HBRUSH background = CreateSolidBrush(RGB(shown[0] >> 16, (shown[0] >> 8) & 0xFF, shown[0] & 0xFF));
    RECT area = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
    ULONG_PTR match = 0;
    for (ULONG_PTR id = 32513; id <= 32516 && match == 0; ++id) {
        std::vector<DWORD> drawn = Paint(area.right, area.bottom, [&](HDC dc) {
            FillRect(dc, &area, background);
            DrawIconEx(dc, 0, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(id)), 0, 0, 0, nullptr,
                       DI_NORMAL | DI_DEFAULTSIZE);
        });
        if (drawn == shown)
            match = id;
    }
    DeleteObject(background);
    return match;
}

} // namespace

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start > timeoutMs)
            return condition();
    }
    return true;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className,
                                  const wchar_t* caption)
{
    std::vector<HWND> all, found;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t text[512] = {};
        GetWindowTextW(window, text, 512);
        if (owner == processId && ClassOf(window) == className &&
            (caption == nullptr || std::wstring(text) == caption))
            found.push_back(window);
    }
    return found;
}

std::vector<HWND> Descendants(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window)
{
    std::wstring text(65536, L'\0');
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kWaitMs, &length))
        length = 0;
    return text.substr(0, length);
}

bool Responds(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &ignored) != 0;
}

RunningApp::RunningApp(const std::wstring& workingDirectory)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + AppPath() + L"\"";
    if (!CreateProcessW(AppPath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.c_str(), &startup, &info_)) {
        error_ = "CreateProcessW failed with error " + std::to_string(GetLastError());
        return;
    }
    HWND window = WaitForTopLevelWindow(processId(), L"WindowClass", L"Tolvane Packer");
    // The pane is the last control made; the main loop runs after that.
    if (window == nullptr || !WaitUntil([&] { return Descendants(window).size() >= 6; }) ||
        !Responds(window)) {
        error_ = "the main window did not get ready";
        return;
    }
    window_ = window;
}

RunningApp::~RunningApp()
{
    if (info_.hProcess != nullptr) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, kWaitMs);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
}

std::wstring RunningApp::PaneText() const
{
    for (HWND child : Descendants(window_)) {
        if (IsClass(child, L"EDIT"))
            return TextOf(child);
    }
    return L"";
}

::testing::AssertionResult RunningApp::ExitsWith(DWORD expected)
{
    DWORD code = 1234;
    if (WaitForSingleObject(info_.hProcess, kWaitMs) != WAIT_OBJECT_0)
        return ::testing::AssertionFailure() << "the program did not end";
    GetExitCodeProcess(info_.hProcess, &code);
    return code == expected ? ::testing::AssertionSuccess()
                            : ::testing::AssertionFailure() << "exit code " << code;
}

HWND WaitForMessageBox(DWORD processId, const wchar_t* caption)
{
    return WaitForTopLevelWindow(processId, L"#32770", caption);
}

MessageBoxView ReadMessageBox(HWND box)
{
    MessageBoxView view;
    view.owner = GetWindow(box, GW_OWNER);
    for (HWND child : Descendants(box)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!IsWindowVisible(child)) {
            continue;
        } else if (IsClass(child, L"Static") && (style & SS_TYPEMASK) == SS_ICON) {
            view.iconWindow = child;
        } else if (IsClass(child, L"Static") && !TextOf(child).empty()) {
            view.text = TextOf(child);
        } else if (IsClass(child, L"Button")) {
            view.buttons.push_back(GetDlgCtrlID(child));
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                view.defaultButton = child;
        }
    }
    return view;
}

ULONG_PTR ShownStandardIcon(const MessageBoxView& view)
{
    // The box may not have painted itself yet.
    ULONG_PTR id = 0;
    WaitUntil([&] { return (id = MatchStandardIcon(view)) != 0; }, 3000);
    return id;
}

void PressButton(HWND box, int id)
{
    PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
}

bool WaitUntilClosed(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window); });
}

HWND WaitForOpenDialog(DWORD processId)
{
    return WaitForTopLevelWindow(processId, L"#32770", nullptr, [](HWND dialog) {
        return FileNameBox(dialog) != nullptr && GetDlgItem(dialog, IDOK) != nullptr;
    });
}

bool ChooseFiles(HWND dialog, const std::wstring& names)
{
    HWND box = FileNameBox(dialog);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()),
                        SMTO_ABORTIFHUNG, kWaitMs, &ignored);
    if (box == nullptr || TextOf(box) != names)
        return false;
    PressButton(dialog, IDOK);
    return true;
}

std::vector<DWORD> Paint(int width, int height, const std::function<void(HDC)>& paint)
{
    std::vector<DWORD> pixels;
    BITMAPINFO info = {};
    info.bmiHeader = ImageHeader(width, height);
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (width > 0 && height > 0 && bitmap != nullptr) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        paint(dc);
        GdiFlush();
        const DWORD* begin = static_cast<const DWORD*>(bits);
        for (const DWORD* pixel = begin; pixel != begin + width * height; ++pixel)
            pixels.push_back(*pixel & 0xFFFFFF);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return pixels;
}

std::vector<DWORD> CaptureScreen(const RECT& rect)
{
    return Paint(rect.right - rect.left, rect.bottom - rect.top, [&](HDC dc) {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left,
               rect.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
}

// A 32-bit top-down BMP file.
bool SaveScreenRect(const RECT& rect, const std::wstring& path)
{
    std::vector<DWORD> pixels = CaptureScreen(rect);
    BITMAPINFOHEADER info = ImageHeader(rect.right - rect.left, rect.bottom - rect.top);
    DWORD imageBytes = info.biSizeImage;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + imageBytes;
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool saved = !pixels.empty() && WriteFile(out, &file, sizeof(file), &written, nullptr) &&
                 WriteFile(out, &info, sizeof(info), &written, nullptr) &&
                 WriteFile(out, pixels.data(), imageBytes, &written, nullptr) &&
                 written == imageBytes;
    CloseHandle(out);
    return saved;
}
