// The main window as the program builds it: geometry, styles, class, the six
// controls, the background picture and the resources in the executable.
#include <windows.h>

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

TEST(AppWindow, ClassHasTheProgramsIconBrushAndArrow)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    HWND window = app.window();

    EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(GetClassLongPtrW(window, GCL_CBCLSEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrW(window, GCL_CBWNDEXTRA), 0u);
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), 0u);
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0u);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)),
              LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(GetClassLongPtrW(window, GCLP_MENUNAME), 0u);
}

TEST(AppWindow, HasItsSixControlsInOrder)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    std::vector<HWND> children = Descendants(app.window());
    ASSERT_EQ(children.size(), std::size(kControls));
    HFONT font = nullptr;
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

        // All six share the one message font.
        DWORD_PTR childFont = 0;
        SendMessageTimeoutW(child, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &childFont);
        EXPECT_NE(childFont, 0u);
        if (i == 0)
            font = reinterpret_cast<HFONT>(childFont);
        EXPECT_EQ(reinterpret_cast<HFONT>(childFont), font);
    }

    // The font is the system's message font.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    LOGFONTW used = {};
    if (GetObjectW(font, sizeof(used), &used) == sizeof(used)) {
        EXPECT_EQ(Narrow(used.lfFaceName), Narrow(metrics.lfMessageFont.lfFaceName));
        EXPECT_EQ(used.lfHeight, metrics.lfMessageFont.lfHeight);
        EXPECT_EQ(used.lfWeight, metrics.lfMessageFont.lfWeight);
    } else {
        ADD_FAILURE() << "the controls' font cannot be read from this process";
    }

    // The pane starts empty and is read-only to the user.
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
