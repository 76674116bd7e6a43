// Drives the real TolvanePacker.exe (APP, a Windows path) as a user does and
// prints what the user would see, for the packing cases table to compare.
//
//   app_driver pack APP [--answer yes|no|cancel|exit]... [--lock FILE] [--watch] MOD...
//     Starts APP in the current folder (holding FILE open without sharing
//     meanwhile), picks the mods (names in that folder) in its file dialog as
//     a person does and answers each overwrite question in turn ("exit"
//     presses Exit while the question is open). Prints the pane's final text
//     on stdout, one line per message box on stderr and, with --watch, a line
//     with the counts the pane was seen to show during the batch. Ends with
//     1 too when its dialog offers other files than mods or drops a mod picked.
//   app_driver window APP
//     Prints the main window, its controls, its Help and About boxes and how
//     its background and controls answer the mouse; then presses Exit.
//   app_driver start APP LIBRARY
//     Starts APP with the system library LIBRARY switched off and prints the
//     box its start-up failure shows.
// Each ends with 0 or 3 when the program ended with 0 or -1, and 1 when it
// could not be driven.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <usp10.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/support/text.h"

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr DWORD kBatchMs = 240000;  // a mod of many files, packed on a busy machine, takes its time
constexpr int kSelect = 500, kHelp = 501, kAbout = 502, kExit = 503;

PROCESS_INFORMATION g_app;
HWND g_window;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "app_driver: %s\n", what.c_str());
    if (g_app.hProcess != nullptr)
        TerminateProcess(g_app.hProcess, 1);
    std::exit(1);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start > timeoutMs)
            return condition();
    return true;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> found;
    EnumChildWindows(parent, [](HWND window, LPARAM list) {
        return reinterpret_cast<std::vector<HWND>*>(list)->push_back(window), TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool IsClass(HWND window, const wchar_t* name)
{
    return window != nullptr && _wcsicmp(ClassOf(window).c_str(), name) == 0;
}

// The program's visible dialog-class windows: message boxes and the file dialog.
std::vector<HWND> Dialogs()
{
    std::vector<HWND> found;
    DWORD owner = 0;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr;) {
        if (GetWindowThreadProcessId(window, &owner) && owner == g_app.dwProcessId && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

// The file dialog's name box: Wine's is a plain edit control, edt1.
HWND FileNameBox(HWND dialog)
{
    return IsClass(GetDlgItem(dialog, 0x480), L"Edit") ? GetDlgItem(dialog, 0x480) : nullptr;
}

HWND WaitForDialog(bool fileDialog)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND dialog : Dialogs())
            found = (FileNameBox(dialog) != nullptr) == fileDialog ? dialog : found;
        return found != nullptr;
    });
    return found != nullptr ? found : (Fail(fileDialog ? "no file dialog" : "no box"), nullptr);
}

void Click(HWND window, int id)
{
    PostMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

void Close(HWND dialog, int button)
{
    Click(dialog, button);
    if (!WaitUntil([&] { return !IsWindow(dialog); }))
        Fail("a dialog did not close");
}

HWND Pane()
{
    HWND pane = FindWindowExW(g_window, nullptr, L"Edit", nullptr);
    return pane != nullptr ? pane : (Fail("no pane"), nullptr);
}

// A picture of width x height pixels (0x00RRGGBB, rows top down).
struct Picture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    bool operator==(const Picture& other) const { return width == other.width && pixels == other.pixels; }
    DWORD At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// What `paint` draws into a memory device context over a background colour.
Picture Draw(int width, int height, DWORD background, const std::function<void(HDC)>& paint)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    std::fill_n(static_cast<DWORD*>(bits), width * height, background);
    paint(memory);
    GdiFlush();
    Picture picture{width, height, {static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height}};
    for (DWORD& pixel : picture.pixels)
        pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return picture;
}

// What the screen shows in a rectangle given in screen coordinates.
Picture Capture(const RECT& rect)
{
    return Draw(rect.right - rect.left, rect.bottom - rect.top, 0, [&](HDC memory) {
        HDC screen = GetDC(nullptr);
        BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left, rect.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
}

// The icon an icon control shows, told by its pixels on the screen: one of
// the system's standard icons drawn on the box's background, else "other".
std::string IconOf(HWND control)
{
    static const std::pair<const wchar_t*, const char*> kStandard[] = {
        {IDI_HAND, "error"}, {IDI_QUESTION, "question"}, {IDI_EXCLAMATION, "exclamation"}, {IDI_ASTERISK, "information"}};
    RECT rect = {};
    GetWindowRect(control, &rect);
    std::string seen = "other";
    WaitUntil([&] {  // the box may still be painting when it is first found
        Picture shown = Capture(rect);
        for (const auto& [id, name] : kStandard) {
            seen = Draw(shown.width, shown.height, shown.At(0, 0), [&, id = id](HDC memory) {
                DrawIconEx(memory, 0, 0, LoadIconW(nullptr, id), shown.width, shown.height, 0, nullptr, DI_NORMAL);
            }) == shown ? name : seen;
        }
        return seen != "other";
    }, 2000);
    return seen;
}

// One line per message box, with the pane's text at that moment.
void PrintBox(HWND box)
{
    std::fprintf(stderr, "box %s pane: %s\n", DescribeBox(box, IconOf).c_str(), OneLine(TextOf(Pane())).c_str());
}

// The n-th run of rows (from 1) that hold more than the background, cut to
// its ink; empty when there is none.
Picture Line(const Picture& picture, int n, DWORD background)
{
    auto row = [&](int y) { return picture.pixels.begin() + y * picture.width; };
    auto ink = [&](DWORD pixel) { return pixel != background; };
    auto inked = [&](int y) { return y < picture.height && std::any_of(row(y), row(y + 1), ink); };
    int top = -1, bottom = 0, left = picture.width, right = -1;
    for (; bottom <= picture.height && (inked(bottom) || top < 0 || --n > 0); ++bottom)
        top = !inked(bottom) ? -1 : top < 0 ? bottom : top;
    for (int y = top; top >= 0 && y < bottom; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (ink(picture.At(x, y)))
                left = std::min(left, x), right = std::max(right, x);
        }
    }
    Picture cut{std::max(right - left + 1, 0), right < 0 ? 0 : bottom - top, {}};
    for (int y = top; right >= 0 && y < bottom; ++y)
        cut.pixels.insert(cut.pixels.end(), row(y) + left, row(y) + right + 1);
    return cut;
}

// The pane as a person watches it while a mod is packed: each new picture of
// its first lines on the screen, with the time it was seen. The program takes
// no messages while it packs, so its pane can only be looked at.
RECT g_watched;
std::vector<std::pair<DWORD, Picture>> g_frames;
volatile LONG g_watching;
HANDLE g_watcher;

void StartWatching()
{
    GetClientRect(Pane(), &g_watched);
    g_watched.bottom = g_watched.top + (g_watched.bottom - g_watched.top) / 3;
    MapWindowPoints(Pane(), HWND_DESKTOP, reinterpret_cast<POINT*>(&g_watched), 2);
    g_watching = 1;
    g_watcher = CreateThread(nullptr, 0, [](void*) -> DWORD {
        for (; g_watching; Sleep(2)) {
            Picture shown = Capture(g_watched);
            if (g_frames.empty() || !(g_frames.back().second == shown))
                g_frames.push_back({GetTickCount(), std::move(shown)});
        }
        return 0;
    }, nullptr, 0, nullptr);
}

// The progress line "Adding file N/total" drawn as the pane draws it (the
// system's message font, the window text colour, the pane's background),
// cut to its ink.
Picture ProgressLine(unsigned number, unsigned total, DWORD background)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    std::wstring text = L"Adding file " + std::to_wstring(number) + L"/" + std::to_wstring(total);
    return Line(Draw(g_watched.right - g_watched.left, 64, background, [&](HDC memory) {
        HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
        HGDIOBJ old = SelectObject(memory, font);
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));
        // The pane lays its text out with the shaping engine, which kerns.
        SCRIPT_STRING_ANALYSIS analysis = nullptr;
        if (ScriptStringAnalyse(memory, text.c_str(), static_cast<int>(text.size()),
                                static_cast<int>(text.size()) * 3 / 2 + 16, -1,
                                SSA_LINK | SSA_FALLBACK | SSA_GLYPHS | SSA_TAB, -1, nullptr, nullptr, nullptr,
                                nullptr, nullptr, &analysis) == S_OK) {
            ScriptStringOut(analysis, 8, 8, 0, nullptr, 0, 0, FALSE);
            ScriptStringFree(&analysis);
        }
        SelectObject(memory, old);
        DeleteObject(font);
    }), 1, background);
}

// Stops watching and prints, on one line, each count the pane was seen to
// show on its progress line (its second line) and when, in milliseconds from
// the first; pictures whose progress line reads as no count are counted.
void PrintWatched(const std::wstring& pane)
{
    g_watching = 0;
    if (WaitForSingleObject(g_watcher, kWaitMs) != WAIT_OBJECT_0)
        Fail("the pane's watch did not stop");
    CloseHandle(g_watcher);
    std::size_t at = pane.rfind(L"Adding file ");  // the last progress line tells the total
    unsigned total = at == std::wstring::npos ? 0 : std::wcstoul(pane.c_str() + pane.find(L'/', at) + 1, nullptr, 10);
    std::string seen;
    unsigned unread = 0;
    DWORD first = 0;
    Picture last;
    std::vector<Picture> drawn;  // each count's line, from 1
    for (const auto& [ms, picture] : g_frames) {
        DWORD background = picture.At(picture.width - 1, 0);
        Picture line = Line(picture, 2, background);
        if (line.width == 0 || line == last)
            continue;
        last = line;
        while (drawn.size() < total)
            drawn.push_back(ProgressLine(static_cast<unsigned>(drawn.size()) + 1, total, background));
        std::size_t number = std::find(drawn.begin(), drawn.end(), line) - drawn.begin() + 1;
        if (number > total) {
            ++unread;
            continue;
        }
        first = seen.empty() ? ms : first;
        seen += " " + std::to_string(number) + "@" + std::to_string(ms - first);
    }
    std::fprintf(stderr, "pane counted:%s unread %u\n", seen.c_str(), unread);
    g_frames.clear();
}

void Start(const std::wstring& app)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + app + L"\"";
    if (!CreateProcessW(app.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &g_app))
        Fail("the program did not start");
    // The pane is the last control made; the main loop runs after that.
    WaitUntil([] {
        g_window = FindWindowW(L"WindowClass", L"Tolvane Packer");
        return g_window != nullptr && Children(g_window).size() >= 6;
    });
    DWORD_PTR ignored = 0;
    if (g_window == nullptr || !SendMessageTimeoutW(g_window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &ignored))
        Fail("the main window did not get ready");
}

// Presses Exit if told to, then waits for the program's end.
int Finish(bool exit = false)
{
    if (exit)
        Click(g_window, kExit);
    DWORD code = 1;
    if (WaitForSingleObject(g_app.hProcess, kWaitMs) != WAIT_OBJECT_0)
        Fail("the program did not end");
    GetExitCodeProcess(g_app.hProcess, &code);
    CloseHandle(g_app.hThread);
    CloseHandle(g_app.hProcess);
    return code == 0 ? 0 : code == static_cast<DWORD>(-1) ? 3 : 1;
}

// A mouse event (key 0) or a key's press or release.
void Input(WORD key, DWORD flags)
{
    INPUT input = {};
    input.type = key == 0 ? INPUT_MOUSE : INPUT_KEYBOARD;
    key == 0 ? (input.mi.dwFlags = flags) : (input.ki.wVk = key, input.ki.dwFlags = flags);
    SendInput(1, &input, sizeof(input));
}

// Sends the list view a message whose lParam is a buffer in the program's
// process (the system carries no list view message across processes):
// `data` goes in and comes back out, with the item's text when it asks for one.
template <class Data>
std::wstring SendToList(HWND list, UINT message, WPARAM wParam, Data* data)
{
    auto* remote = static_cast<char*>(VirtualAllocEx(g_app.hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr)
        Fail("no memory in the program");
    wchar_t text[1024] = {};
    if constexpr (std::is_same_v<Data, LVITEMW>)
        data->pszText = reinterpret_cast<LPWSTR>(remote + sizeof(Data)), data->cchTextMax = 1024;
    WriteProcessMemory(g_app.hProcess, remote, data, sizeof(Data), nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, kWaitMs, &ignored);
    ReadProcessMemory(g_app.hProcess, remote, data, sizeof(Data), nullptr);
    ReadProcessMemory(g_app.hProcess, remote + sizeof(Data), text, sizeof(text) - sizeof(wchar_t), nullptr);
    VirtualFreeEx(g_app.hProcess, remote, 0, MEM_RELEASE);
    return text;
}

// Picks the mods as a person does: sees that the file-type box offers
// Tolvane mods and that the list shows no other files (folders aside),
// clicks the first mod and Ctrl+clicks the others, and presses Open once the
// name box shows them all. A list still filling may drop the picks; the
// person then picks again.
void PickMods(HWND dialog, const std::vector<std::wstring>& mods)
{
    HWND list = nullptr, types = nullptr;
    LRESULT count = 0;
    WaitUntil([&] {  // until the list has stopped filling
        LRESULT before = count;
        Sleep(200);
        for (HWND child : Children(dialog)) {
            list = IsClass(child, L"SysListView32") && IsWindowVisible(child) ? child : list;
            types = IsClass(child, L"ComboBox") ? child : types;
        }
        count = list != nullptr ? SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : 0;
        return count > 0 && count == before;
    });
    if (list == nullptr || types == nullptr || TextOf(types) != L"Tolvane mod")
        Fail("the file dialog offers \"" + ToUtf8(types ? TextOf(types) : L"") + "\", not Tolvane mods");
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t picked = 0;
        for (int item = 0; item < count; ++item) {
            LVITEMW entry = {};
            std::wstring name = SendToList(list, LVM_GETITEMTEXTW, item, &entry);
            DWORD attributes = GetFileAttributesW(name.c_str());
            if ((attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) &&
                (name.size() < 4 || _wcsicmp(name.c_str() + name.size() - 4, L".tvx") != 0))
                Fail("the file dialog lists \"" + ToUtf8(name) + "\", which is no mod");
            if (std::find(mods.begin(), mods.end(), name) == mods.end())
                continue;
            RECT rect = {LVIR_LABEL, 0, 0, 0};
            SendToList(list, LVM_GETITEMRECT, item, &rect);
            MapWindowPoints(list, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
            SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
            if (picked > 0)
                Input(VK_CONTROL, 0);
            Input(0, MOUSEEVENTF_LEFTDOWN);
            Input(0, MOUSEEVENTF_LEFTUP);
            if (picked++ > 0)
                Input(VK_CONTROL, KEYEVENTF_KEYUP);
        }
        if (picked != mods.size())
            Fail("the file dialog does not list every mod to pick");
        if (WaitUntil([&] {
                std::wstring names = TextOf(FileNameBox(dialog));
                for (const std::wstring& mod : mods)
                    names = names.find(mod) == std::wstring::npos ? L"" : names;
                return !names.empty() && static_cast<std::size_t>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)) == picked;
            }, 2000))
            return Close(dialog, IDOK);
    }
    Fail("the file dialog does not hold every mod picked");
}

// Picks the mods, then presses Select once more: the program acts on that
// press only after the batch, so the dialog's return marks the batch's end.
int Pack(const std::vector<std::wstring>& answers, const std::vector<std::wstring>& mods, bool watch)
{
    Click(g_window, kSelect);
    PickMods(WaitForDialog(true), mods);
    if (watch)
        StartWatching();
    Click(g_window, kSelect);
    for (std::size_t answered = 0;;) {
        HWND shown = nullptr;
        if (!WaitUntil([&] {
                std::vector<HWND> dialogs = Dialogs();
                shown = dialogs.empty() ? nullptr : dialogs[0];
                return shown != nullptr || WaitForSingleObject(g_app.hProcess, 0) == WAIT_OBJECT_0;
            }, kBatchMs))
            Fail("the batch did not end");
        bool fileDialog = shown != nullptr && FileNameBox(shown) != nullptr;
        bool error = shown != nullptr && !fileDialog && TextOf(shown) == L"Error";
        // The pane is watched until the batch is over.
        if (g_watching && (shown == nullptr || fileDialog || error))
            PrintWatched(shown == nullptr ? L"" : TextOf(Pane()));
        if (shown == nullptr)
            return Finish();
        fileDialog ? Close(shown, IDCANCEL) : PrintBox(shown);
        if (!fileDialog && !error && answered == answers.size())
            Fail("a question no answer was given for");
        // The pane as it stands when the batch is over, or Exit is pressed
        // while a question is open; after an error the program ends itself.
        if (fileDialog || error || answers[answered] == L"exit") {
            std::fputs(ToUtf8(TextOf(Pane())).c_str(), stdout);
            if (error)
                Close(shown, IDOK);
            return Finish(!error);
        }
        const std::wstring& answer = answers[answered++];
        Close(shown, answer == L"yes" ? IDYES : answer == L"no" ? IDNO : IDCANCEL);
    }
}

// Presses the left button at a point of the window, moves the mouse by
// (dx, dy) in small steps and lets go, as a person drags; prints how far the
// window moved.
void Drag(const char* what, POINT at, int dx, int dy)
{
    RECT before = {}, after = {};
    GetWindowRect(g_window, &before);
    POINT start = {before.left + at.x, before.top + at.y};
    SetCursorPos(start.x, start.y);
    Sleep(100);
    Input(0, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 10; ++step) {
        Sleep(30);
        SetCursorPos(start.x + dx * step / 10, start.y + dy * step / 10);
    }
    Sleep(100);
    Input(0, MOUSEEVENTF_LEFTUP);
    // The window follows the mouse through the program's own message loop.
    WaitUntil([&] {
        GetWindowRect(g_window, &after);
        return after.left != before.left || after.top != before.top;
    }, 1000);
    std::printf("drag %s at %ld,%ld by %d,%d: the window moved %ld,%ld\n", what, at.x, at.y, dx, dy,
                after.left - before.left, after.top - before.top);
}

// What the window reports under a point of its own (window coordinates):
// the code of the control there, or of the window itself.
std::string HitTest(HWND window, POINT at)
{
    RECT frame = {};
    GetWindowRect(g_window, &frame);
    DWORD_PTR hit = 0;
    SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(frame.left + at.x, frame.top + at.y), SMTO_ABORTIFHUNG,
                        kWaitMs, &hit);
    std::string what = window == g_window ? "the window" : "\"" + ToUtf8(TextOf(window)) + "\"";
    return "hit " + what + " at " + std::to_string(at.x) + "," + std::to_string(at.y) + ": " +
           std::to_string(static_cast<LRESULT>(hit)) + "\n";
}

// The window's frame and styles, each control in creation order, then the
// boxes of Help and About, after commands the window must ignore; then how
// the background and the controls answer the mouse.
int DescribeWindow()
{
    RECT rect = {};
    GetWindowRect(g_window, &rect);
    std::printf("window at %ld,%ld of %dx%d size %ldx%ld style %08lx ex %08lx class style %08lx menu %d\n", rect.left,
                rect.top, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), rect.right - rect.left,
                rect.bottom - rect.top, GetWindowLongW(g_window, GWL_STYLE) & ~WS_CLIPSIBLINGS,
                GetWindowLongW(g_window, GWL_EXSTYLE), static_cast<unsigned long>(GetClassLongPtrW(g_window, GCL_STYLE)),
                GetMenu(g_window) != nullptr);
    constexpr POINT kBackground = {170, 250};
    std::string hits = HitTest(g_window, kBackground);
    for (HWND child : Children(g_window)) {
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, g_window, reinterpret_cast<POINT*>(&rect), 2);
        std::printf("%s \"%s\" id %d style %08lx ex %08lx at %ld,%ld,%ld,%ld\n", ToUtf8(ClassOf(child)).c_str(),
                    ToUtf8(TextOf(child)).c_str(), GetDlgCtrlID(child), GetWindowLongW(child, GWL_STYLE),
                    GetWindowLongW(child, GWL_EXSTYLE), rect.left, rect.top, rect.right, rect.bottom);
        hits += HitTest(child, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    }
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(504, 0), 0);
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(0, EN_SETFOCUS), 0);
    for (int button : {kHelp, kAbout}) {
        PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(button, 0x1234), 0);
        HWND box = WaitForDialog(false);
        PrintBox(box);
        Close(box, IDOK);
    }
    std::fputs(hits.c_str(), stdout);
    Drag("the background", kBackground, 40, 30);
    Drag("the pane", {400, 300}, 40, 30);
    return Finish(true);
}

// Starts the program with a system library it needs switched off (through
// Wine's settings for programs of its file name, removed again afterwards),
// so that its start-up fails; prints the failure's box and presses OK.
int StartWithout(const std::wstring& app, const std::wstring& library)
{
    std::wstring settings = L"Software\\Wine\\AppDefaults\\" + app.substr(app.find_last_of(L"\\/") + 1);
    const wchar_t disabled[] = L"";
    if (RegSetKeyValueW(HKEY_CURRENT_USER, (settings + L"\\DllOverrides").c_str(), library.c_str(), REG_SZ, disabled,
                        sizeof(disabled)) != ERROR_SUCCESS)
        Fail("the library could not be switched off");
    Start(app);
    HWND box = WaitForDialog(false);
    RegDeleteTreeW(HKEY_CURRENT_USER, settings.c_str());
    PrintBox(box);
    Close(box, IDOK);
    return Finish();
}

} // namespace

int main()
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);
    if (args.size() < 2 || (args[0] != L"pack" && args[0] != L"window" && (args[0] != L"start" || args.size() != 3))) {
        std::fputs("usage: app_driver pack APP [--answer ANSWER]... [--watch] MOD... | app_driver window APP"
                   " | app_driver start APP LIBRARY\n", stderr);
        return 1;
    }
    // The pane's own line ends, not the C library's translation of them.
    _setmode(_fileno(stdout), _O_BINARY);
    if (args[0] == L"start")
        return StartWithout(args[1], args[2]);
    Start(args[1]);
    if (args[0] == L"window")
        return DescribeWindow();
    std::vector<std::wstring> answers, mods;
    bool watch = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == L"--answer" && i + 1 < args.size())
            answers.push_back(args[++i]);
        else if (args[i] == L"--watch")
            watch = true;
        else if (args[i] == L"--lock" && i + 1 < args.size())
            CreateFileW(args[++i].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        else
            mods.push_back(args[i]);
    }
    return Pack(answers, mods, watch);  // the lock is held until the driver ends
}
