// The main window as the program builds it: geometry, styles, class, the six
// controls, the background picture and the resources in the executable.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/driver_config.h"
#include "tests/app/running_app.h"
#include "tests/app/screenshot.h"
#include "tests/app/windows_of_process.h"
#include "tests/support/temp_tree.h"

namespace {

struct ExpectedControl {
    const wchar_t* className;
    const wchar_t* text;
    LONG style;
    LONG exStyle;
    RECT rect;  // left, top, right, bottom in the main window's client area
    int id;
};

// In creation order, which is also the order EnumChildWindows reports them.
const ExpectedControl kControls[] = {
    {L"BUTTON", L"Help", 0x50000000, WS_EX_STATICEDGE, {50, 70, 150, 100}, 501},
    {L"BUTTON", L"About", 0x50000000, WS_EX_STATICEDGE, {50, 120, 150, 150}, 502},
    {L"BUTTON", L"Exit", 0x50000000, WS_EX_STATICEDGE, {50, 170, 150, 200}, 503},
    {L"BUTTON", L"Select Tolvane mod", 0x50000000, WS_EX_STATICEDGE, {530, 350, 630, 380}, 500},
    {L"BUTTON", L"Output", 0x50000007, 0, {190, 64, 630, 340}, 0},
    {L"EDIT", L"", 0x50200844, WS_EX_CLIENTEDGE, {194, 81, 626, 336}, 0},
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The background bitmap as stored in the executable: header and pixels.
struct StoredBitmap {
    BITMAPINFOHEADER header = {};
    const BYTE* pixels = nullptr;

    COLORREF At(int x, int y) const
    {
        int rowBytes = ((header.biWidth * 3 + 3) / 4) * 4;
        const BYTE* pixel = pixels + (header.biHeight - 1 - y) * rowBytes + x * 3;
        return RGB(pixel[2], pixel[1], pixel[0]);
    }
};

class ResourceModule {
public:
    ResourceModule()
        : module_(LoadLibraryExW(AppPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceModule()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

    // The resource's bytes in the given language, or null.
    const BYTE* Find(LPCWSTR type, LPCWSTR name, WORD language, DWORD* size) const
    {
        HRSRC found = FindResourceExW(module_, type, name, language);
        if (found == nullptr)
            return nullptr;
        *size = SizeofResource(module_, found);
        return static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
    }

private:
    HMODULE module_;
};

std::wstring TypeName(LPCWSTR type)
{
    return IS_INTRESOURCE(type) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(type))
                                : std::wstring(type);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR context)
{
    auto* found = reinterpret_cast<std::set<std::wstring>*>(context);
    found->insert(TypeName(type) + L"/" + TypeName(name) + L"/" + std::to_wstring(language));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context)
{
    EnumResourceLanguagesW(module, type, name, CollectLanguage, context);
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR context)
{
    EnumResourceNamesW(module, type, CollectName, context);
    return TRUE;
}

// The pixels of a text that differ from the background, cropped to their
// bounding box.
struct Ink {
    COLORREF background = 0;
    int width = 0;
    std::vector<COLORREF> pixels;

    bool operator==(const Ink& other) const
    {
        return width == other.width && pixels == other.pixels;
    }
};

Ink InkOf(const std::vector<COLORREF>& pixels, int width)
{
    Ink ink;
    if (pixels.empty())
        return ink;
    ink.background = pixels[width + 1];
    int height = static_cast<int>(pixels.size()) / width;
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (pixels[y * width + x] != ink.background) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return ink;
    ink.width = right - left + 1;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            ink.pixels.push_back(pixels[y * width + x]);
    return ink;
}

// The label as this process draws it in the font: button text colour on the
// given background.
Ink DrawnInk(const std::wstring& label, HFONT font, COLORREF background)
{
    const int width = 200;
    const int height = 40;
    RECT area = {0, 0, width, height};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(memory, &area, brush);
    DeleteObject(brush);
    HGDIOBJ oldFont = SelectObject(memory, font);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, GetSysColor(COLOR_BTNTEXT));
    TextOutW(memory, 4, 4, label.c_str(), static_cast<int>(label.size()));
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);

    std::vector<COLORREF> pixels;
    pixels.reserve(width * height);
    HDC reader = CreateCompatibleDC(screen);
    oldBitmap = SelectObject(reader, bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(GetPixel(reader, x, y));
    SelectObject(reader, oldBitmap);
    DeleteDC(reader);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return InkOf(pixels, width);
}

} // namespace

TEST(AppWindow, IsABorderless640By400WindowCentredOnTheScreen)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    HWND window = app.window();

    RECT rect = {};
    GetWindowRect(window, &rect);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(rect.left, (screenWidth - 640) / 2);
    EXPECT_EQ(rect.top, (screenHeight - 400) / 2);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 400);

    // No frame: the client area is the whole window.
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 400);

    // WS_POPUP alone, made visible by ShowWindow. The system adds
    // WS_CLIPSIBLINGS to every top-level window.
    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & ~WS_CLIPSIBLINGS, static_cast<LONG>(WS_POPUP | WS_VISIBLE))
        << std::hex << style;
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE), 0);
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);
    EXPECT_TRUE(IsWindowEnabled(window));
}

TEST(AppWindow, ClassIsRegisteredByTheProgramWithItsStyle)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    HWND window = app.window();

    EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(GetClassLongPtrW(window, GCL_CBCLSEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrW(window, GCL_CBWNDEXTRA), 0u);
    // The class belongs to the program's module, as do all its windows.
    LONG_PTR instance = GetWindowLongPtrW(window, GWLP_HINSTANCE);
    EXPECT_NE(instance, 0);
    EXPECT_EQ(static_cast<LONG_PTR>(GetClassLongPtrW(window, GCLP_HMODULE)), instance);
    for (HWND child : Descendants(window))
        EXPECT_EQ(GetWindowLongPtrW(child, GWLP_HINSTANCE), instance);

    // Wine does not give out a class's icon, cursor or brush to another
    // process, so these are checked where they show: the brush by the
    // picture test below, the icon by loading it from the executable.
    ResourceModule resources;
    ASSERT_NE(resources.get(), nullptr);
    HANDLE icon = LoadImageW(resources.get(), MAKEINTRESOURCEW(200), IMAGE_ICON, 64, 64, 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr)
        DestroyIcon(static_cast<HICON>(icon));
}

TEST(AppWindow, HasItsSixControlsInOrder)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    std::vector<HWND> children = Descendants(app.window());
    ASSERT_EQ(children.size(), std::size(kControls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& expected = kControls[i];
        HWND child = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + Narrow(expected.text) + "\"");
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), expected.className), 0)
            << Narrow(ClassOf(child));
        EXPECT_EQ(Narrow(TextOf(child)), Narrow(expected.text));
        EXPECT_EQ(GetWindowLongW(child, GWL_STYLE), expected.style)
            << std::hex << GetWindowLongW(child, GWL_STYLE);
        EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE), expected.exStyle)
            << std::hex << GetWindowLongW(child, GWL_EXSTYLE);
        RECT rect = RectInParent(child);
        EXPECT_EQ(rect.left, expected.rect.left);
        EXPECT_EQ(rect.top, expected.rect.top);
        EXPECT_EQ(rect.right, expected.rect.right);
        EXPECT_EQ(rect.bottom, expected.rect.bottom);
        EXPECT_EQ(GetDlgCtrlID(child), expected.id);
        EXPECT_EQ(GetParent(child), app.window());
    }

    // Nothing has been written to the pane yet.
    EXPECT_EQ(app.PaneText(), L"");
}

TEST(AppWindow, BackgroundShowsTheStoredPicture)
{
    ResourceModule resources;
    ASSERT_NE(resources.get(), nullptr);
    DWORD size = 0;
    const BYTE* data = resources.Find(RT_BITMAP, MAKEINTRESOURCEW(100), 0x409, &size);
    ASSERT_NE(data, nullptr);
    StoredBitmap stored;
    std::memcpy(&stored.header, data, sizeof(stored.header));
    stored.pixels = data + stored.header.biSize;

    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    // Nothing else may cover the window while it is captured.
    SetWindowPos(app.window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(app.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    ASSERT_TRUE(Responds(app.window()));
    Sleep(300);

    RECT rect = {};
    GetWindowRect(app.window(), &rect);
    std::wstring shot = ArtifactFolder() + L"\\main_window.bmp";
    ASSERT_TRUE(SaveScreenRect(rect, shot));

    // Points of the background that no control covers: the picture shows
    // there pixel for pixel, so the brush is the bitmap, aligned with the
    // window. Among them the logo in the top-right corner.
    const POINT points[] = {{2, 2},     {320, 30},  {600, 20},  {520, 28}, {170, 60},
                            {20, 250},  {100, 380}, {639, 399}, {400, 360}, {160, 90}};
    HDC screen = GetDC(nullptr);
    for (const POINT& point : points) {
        COLORREF shown = GetPixel(screen, rect.left + point.x, rect.top + point.y);
        EXPECT_EQ(shown, stored.At(point.x, point.y)) << "at " << point.x << "," << point.y;
    }
    ReleaseDC(nullptr, screen);
}

TEST(AppWindow, ButtonsAreLabelledInTheMessageFont)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    SetWindowPos(app.window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_TRUE(Responds(app.window()));
    Sleep(300);

    // Wine does not answer WM_GETFONT from another process, so the font is
    // judged by what it draws: each label's ink on the screen must be the
    // label as this process draws it in the message font, and must differ
    // from the label in the system font (what a control without WM_SETFONT
    // uses).
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    HFONT messageFont = CreateFontIndirectW(&metrics.lfMessageFont);

    // The select button's label nearly fills the button and is cut at its
    // edge, so the three labels that fit whole stand for all four.
    const int buttons[] = {501, 502, 503};
    for (int id : buttons) {
        HWND button = app.Button(id);
        std::wstring label = TextOf(button);
        SCOPED_TRACE(Narrow(label));

        RECT rect = {};
        GetWindowRect(button, &rect);
        InflateRect(&rect, -3, -3);
        Ink shown = InkOf(CaptureScreen(rect), rect.right - rect.left);
        ASSERT_FALSE(shown.pixels.empty()) << "no label drawn";
        EXPECT_TRUE(shown == DrawnInk(label, messageFont, shown.background))
            << "the label is not drawn in the message font";
        EXPECT_FALSE(shown == DrawnInk(label, static_cast<HFONT>(GetStockObject(SYSTEM_FONT)),
                                       shown.background));
    }
    DeleteObject(messageFont);
}

TEST(AppWindow, ExecutableCarriesExactlyItsResources)
{
    ResourceModule resources;
    ASSERT_NE(resources.get(), nullptr);

    std::set<std::wstring> found;
    EnumResourceTypesW(resources.get(), CollectType, reinterpret_cast<LONG_PTR>(&found));
    // Type/name/language: the bitmap, the icon group and its one image, and
    // the manifest, all English (United States).
    std::set<std::wstring> expected = {L"#2/#100/1033", L"#14/#200/1033", L"#3/#1/1033",
                                       L"#24/#1/1033"};
    std::string list;
    for (const std::wstring& entry : found)
        list += Narrow(entry) + " ";
    EXPECT_EQ(found, expected) << list;

    DWORD size = 0;
    const BYTE* bitmap = resources.Find(RT_BITMAP, MAKEINTRESOURCEW(100), 0x409, &size);
    ASSERT_NE(bitmap, nullptr);
    BITMAPINFOHEADER header = {};
    std::memcpy(&header, bitmap, sizeof(header));
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight, 400);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(size, sizeof(header) + 640u * 3u * 400u);

    // The icon group: one 64 x 64 image with 8 bits per pixel.
    const BYTE* group = resources.Find(RT_GROUP_ICON, MAKEINTRESOURCEW(200), 0x409, &size);
    ASSERT_NE(group, nullptr);
    ASSERT_GE(size, 6u + 14u);
    WORD count = 0;
    std::memcpy(&count, group + 4, sizeof(count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(group[6], 64);  // width
    EXPECT_EQ(group[7], 64);  // height
    WORD bits = 0;
    std::memcpy(&bits, group + 6 + 6, sizeof(bits));
    EXPECT_EQ(bits, 8);

    // The manifest asks for the invoking user's rights, without UI access,
    // and declares nothing else.
    const BYTE* manifest = resources.Find(RT_MANIFEST, MAKEINTRESOURCEW(1), 0x409, &size);
    ASSERT_NE(manifest, nullptr);
    std::string text(reinterpret_cast<const char*>(manifest), size);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(text.find("<dependency"), std::string::npos);
    EXPECT_EQ(text.find("<compatibility"), std::string::npos);
    EXPECT_EQ(text.find("<application"), std::string::npos);
}
