#include "tests/app/message_box.h"

#include "tests/app/windows_of_process.h"

namespace {

// A 32-bit top-down DIB section with a memory DC selected into it.
struct Canvas {
    Canvas(int width, int height) : width(width), height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* data = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &data, nullptr, 0);
        bits = static_cast<DWORD*>(data);
        old = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width;
    int height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    DWORD* bits;
};

} // namespace

HWND WaitForMessageBox(DWORD processId, const wchar_t* caption)
{
    return WaitForTopLevelWindow(processId, L"#32770", caption);
}

MessageBoxView ReadMessageBox(HWND box)
{
    MessageBoxView view;
    view.owner = GetWindow(box, GW_OWNER);
    view.caption = TextOf(box);
    for (HWND child : Descendants(box)) {
        if (!IsWindowVisible(child))
            continue;
        std::wstring className = ClassOf(child);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(className.c_str(), L"Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                view.iconWindow = child;
            } else {
                std::wstring text = TextOf(child);
                if (!text.empty())
                    view.text = text;
            }
        } else if (_wcsicmp(className.c_str(), L"Button") == 0) {
            view.buttons.push_back(GetDlgCtrlID(child));
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                view.defaultButton = child;
        }
    }
    return view;
}

namespace {

ULONG_PTR MatchStandardIcon(const MessageBoxView& view)
{
    if (view.iconWindow == nullptr)
        return 0;
    RECT client = {};
    GetClientRect(view.iconWindow, &client);
    POINT origin = {0, 0};
    ClientToScreen(view.iconWindow, &origin);
    int width = client.right;
    int height = client.bottom;
    if (width <= 0 || height <= 0)
        return 0;

    Canvas shown(width, height);
    HDC screen = GetDC(nullptr);
    BitBlt(shown.dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    // The icons' corners are transparent: the box's background shows there.
    DWORD background = shown.bits[0];

    const ULONG_PTR candidates[] = {32513, 32514, 32515, 32516};  // hand, question, exclamation, asterisk
    for (ULONG_PTR id : candidates) {
        Canvas drawn(width, height);
        for (int i = 0; i < width * height; ++i)
            drawn.bits[i] = background;
        DrawIconEx(drawn.dc, 0, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(id)), 0, 0, 0, nullptr,
                   DI_NORMAL | DI_DEFAULTSIZE);
        GdiFlush();
        int differing = 0;
        for (int i = 0; i < width * height; ++i) {
            if ((drawn.bits[i] & 0xFFFFFF) != (shown.bits[i] & 0xFFFFFF))
                ++differing;
        }
        if (differing == 0)
            return id;
    }
    return 0;
}

} // namespace

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

bool WaitUntilClosed(HWND box)
{
    return WaitUntil([&] { return !IsWindow(box); });
}
