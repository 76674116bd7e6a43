// The main window as the program builds it: geometry, styles, class, the six
// controls, the background picture and the resources in the executable.
#include <cstring>

#include <gtest/gtest.h>

#include "tests/app/driver.h"

namespace {

struct ExpectedControl {
    const wchar_t* className;
    const wchar_t* text;
    LONG style;
    LONG exStyle;
    RECT rect;  // in the main window's client area
    int id;
};

// In creation order, which is also the order EnumChildWindows reports them.
const ExpectedControl kControls[] = {
    {L"BUTTON", L"Help", 0x50000000, WS_EX_STATICEDGE, {50, 70, 150, 100}, kHelp},
    {L"BUTTON", L"About", 0x50000000, WS_EX_STATICEDGE, {50, 120, 150, 150}, kAbout},
    {L"BUTTON", L"Exit", 0x50000000, WS_EX_STATICEDGE, {50, 170, 150, 200}, kExit},
    {L"BUTTON", L"Select Tolvane mod", 0x50000000, WS_EX_STATICEDGE, {530, 350, 630, 380}, kSelect},
    {L"BUTTON", L"Output", 0x50000007, 0, {190, 64, 630, 340}, 0},
    {L"EDIT", L"", 0x50200844, WS_EX_CLIENTEDGE, {194, 81, 626, 336}, 0},
};

// The executable's resources, loaded as data, in English (United States).
class Resources {
public:
    Resources() : module_(LoadLibraryExW(AppPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Resources() { FreeLibrary(module_); }
    HMODULE get() const { return module_; }
    std::string Find(LPCWSTR type, int name) const
    {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(name), 0x409);
        if (found == nullptr)
            return "";
        auto bytes = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(bytes, SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

class AppWindow : public AppTest {};

} // namespace

TEST_F(AppWindow, IsABorderless640By400PopupCentredOnTheScreen)
{
    RECT rect = {}, client = {};
    GetWindowRect(app.window(), &rect);
    GetClientRect(app.window(), &client);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - 640) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - 400) / 2);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 400);
    // No frame: the client area is the whole window.
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 400);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(GetWindowLongW(app.window(), GWL_STYLE) & ~WS_CLIPSIBLINGS,
              static_cast<LONG>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(GetWindowLongW(app.window(), GWL_EXSTYLE), 0);
    EXPECT_EQ(GetMenu(app.window()), nullptr);
    EXPECT_EQ(GetClassLongPtrW(app.window(), GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
}

TEST_F(AppWindow, HasItsSixControlsInOrder)
{
    std::vector<HWND> children = Descendants(app.window());
    ASSERT_EQ(children.size(), std::size(kControls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& expected = kControls[i];
        HWND child = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + Narrow(expected.text) + "\"");
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), expected.className), 0) << Narrow(ClassOf(child));
        EXPECT_EQ(Narrow(TextOf(child)), Narrow(expected.text));
        EXPECT_EQ(GetWindowLongW(child, GWL_STYLE), expected.style);
        EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE), expected.exStyle);
        RECT rect = {};
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, app.window(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_TRUE(EqualRect(&rect, &expected.rect))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
        EXPECT_EQ(GetDlgCtrlID(child), expected.id);
        EXPECT_EQ(GetParent(child), app.window());
    }
}

TEST_F(AppWindow, BackgroundShowsTheStoredPictureAndIsSavedAsAScreenshot)
{
    Resources resources;
    std::string bitmap = resources.Find(RT_BITMAP, 100);
    // 640 x 400, 24-bit rows, bottom-up.
    ASSERT_EQ(bitmap.size(), sizeof(BITMAPINFOHEADER) + 640u * 3u * 400u);
    // Nothing else may cover the window while it is captured.
    SetWindowPos(app.window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(app.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    ASSERT_TRUE(Responds(app.window()));
    Sleep(300);
    RECT rect = {};
    GetWindowRect(app.window(), &rect);
    ASSERT_TRUE(SaveScreenRect(rect, ArtifactFolder() + L"\\main_window.bmp"));

    // Points no control covers, among them the logo in the top-right corner:
    // the picture shows there pixel for pixel, aligned with the window.
    std::vector<DWORD> shown = CaptureScreen(rect);
    const POINT points[] = {{2, 2},    {320, 30},  {600, 20},  {520, 28},  {170, 60},
                            {20, 250}, {100, 380}, {639, 399}, {400, 360}, {160, 90}};
    for (const POINT& point : points) {
        const char* stored = bitmap.data() + sizeof(BITMAPINFOHEADER) + (399 - point.y) * 1920 + point.x * 3;
        DWORD expected = 0;
        std::memcpy(&expected, stored, 3);
        EXPECT_EQ(shown[point.y * 640 + point.x], expected) << "at " << point.x << "," << point.y;
    }
}

TEST_F(AppWindow, ExecutableCarriesItsIconAndManifest)
{
    Resources resources;
    ASSERT_NE(resources.get(), nullptr);
    EXPECT_NE(resources.Find(RT_ICON, 1), "");

    // One 64 x 64 icon with 8 bits per pixel: count, width, height, bit count.
    std::string group = resources.Find(RT_GROUP_ICON, 200);
    ASSERT_GE(group.size(), 20u);
    EXPECT_EQ(group.substr(4, 4), std::string("\1\0\x40\x40", 4));
    EXPECT_EQ(group.substr(12, 2), std::string("\x08\0", 2));

    // The invoking user's rights, without UI access, and nothing else.
    std::string manifest = resources.Find(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    for (const char* element : {"<dependency", "<compatibility", "<application"})
        EXPECT_EQ(manifest.find(element), std::string::npos) << element;
}
