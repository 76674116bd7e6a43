// Drives the real TolvanePacker.exe the way a user does and prints what the
// user would see, for the packing cases table to compare.
//
// APP is the program's Windows path.
//
//   app_driver pack APP [--answer yes|no|cancel|exit]... [--lock FILE] MOD...
//     Starts APP in the current folder (holding FILE open without sharing
//     meanwhile), picks the mods in its file dialog and
//     answers each overwrite question in turn ("exit" presses the main
//     window's Exit while the question is open). Prints the pane's final text
//     on stdout and one line per message box on stderr. Exit status: 0 when
//     the program ended with 0, 3 when it ended with -1, 1 when it could not
//     be driven.
//   app_driver window APP
//     Prints the main window, its controls and its Help and About boxes, then
//     presses Exit; ends like "pack".
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/text.h"

namespace {

constexpr DWORD kWaitMs = 20000;
// A mod of many files, packed on a busy machine, takes its time.
constexpr DWORD kBatchMs = 240000;
constexpr int kSelect = 500, kHelp = 501, kAbout = 502, kExit = 503;

PROCESS_INFORMATION g_app;
HWND g_window;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "app_driver: %s\n", what);
    if (g_app.hProcess != nullptr)
        TerminateProcess(g_app.hProcess, 1);
    std::exit(1);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start > timeoutMs)
            return condition();
    }
    return true;
}

BOOL CALLBACK Collect(HWND window, LPARAM found)
{
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
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

bool IsClass(HWND window, const wchar_t* name)
{
    return window != nullptr && _wcsicmp(ClassOf(window).c_str(), name) == 0;
}

// WM_GETTEXT, which the system carries across processes.
std::wstring TextOf(HWND window)
{
    std::wstring text(1 << 20, L'\0');
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kWaitMs, &length))
        length = 0;
    return text.substr(0, length);
}

// The program's visible dialog-class windows: message boxes and the file dialog.
std::vector<HWND> Dialogs()
{
    std::vector<HWND> all, found;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == g_app.dwProcessId && IsWindowVisible(window) && ClassOf(window) == L"#32770")
            found.push_back(window);
    }
    return found;
}

// Wine's file dialog has a plain edit control edt1 (0x480); Windows keeps the
// name box inside the combo box cmb13 (0x47C).
HWND FileNameBox(HWND dialog)
{
    if (IsClass(GetDlgItem(dialog, 0x480), L"Edit"))
        return GetDlgItem(dialog, 0x480);
    HWND combo = GetDlgItem(dialog, 0x47C);
    for (HWND child : combo != nullptr ? Children(combo) : std::vector<HWND>{}) {
        if (IsClass(child, L"Edit"))
            return child;
    }
    return nullptr;
}

HWND WaitForDialog(bool fileDialog)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND dialog : Dialogs()) {
            if ((FileNameBox(dialog) != nullptr) == fileDialog)
                found = dialog;
        }
        return found != nullptr;
    });
    return found;
}

void Press(HWND window, int id)
{
    PostMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

void Close(HWND dialog, int button)
{
    Press(dialog, button);
    if (!WaitUntil([&] { return !IsWindow(dialog); }))
        Fail("a dialog did not close");
}

std::wstring PaneText()
{
    for (HWND child : Children(g_window)) {
        if (IsClass(child, L"EDIT"))
            return TextOf(child);
    }
    Fail("no pane");
}

// Line breaks shown as "\\n", so that a box takes one line.
std::string OneLine(const std::wstring& text)
{
    std::string line;
    for (char c : ToUtf8(text))
        line += c == '\r' ? "" : c == '\n' ? "\\n" : std::string(1, c);
    return line;
}

// One line per message box: caption, owner, buttons (the default marked *),
// the box's text and the pane's text at that moment.
void PrintBox(HWND box)
{
    std::string line = "box \"" + ToUtf8(TextOf(box)) + "\"" + (GetWindow(box, GW_OWNER) ? " owned" : "") + " buttons";
    std::wstring text;
    for (HWND child : Children(box)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (IsWindowVisible(child) && IsClass(child, L"Button"))
            line += " " + std::to_string(GetDlgCtrlID(child)) + ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "*" : "");
        else if (IsWindowVisible(child) && IsClass(child, L"Static") && (style & SS_TYPEMASK) != SS_ICON)
            text += TextOf(child);
    }
    std::fprintf(stderr, "%s text: %s pane: %s\n", line.c_str(), OneLine(text).c_str(), OneLine(PaneText()).c_str());
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

int Finish()
{
    DWORD code = 1;
    if (WaitForSingleObject(g_app.hProcess, kWaitMs) != WAIT_OBJECT_0)
        Fail("the program did not end");
    GetExitCodeProcess(g_app.hProcess, &code);
    CloseHandle(g_app.hThread);
    CloseHandle(g_app.hProcess);
    return code == 0 ? 0 : code == static_cast<DWORD>(-1) ? 3 : 1;
}

// Picks the mods, then presses Select once more: the program acts on that
// press only after the batch, so the dialog's return marks the batch's end.
int Pack(const std::vector<std::wstring>& answers, const std::wstring& names)
{
    PostMessageW(GetDlgItem(g_window, kSelect), BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(true);
    if (dialog == nullptr)
        Fail("no file dialog");
    SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()));
    Close(dialog, IDOK);
    PostMessageW(GetDlgItem(g_window, kSelect), BM_CLICK, 0, 0);

    std::size_t answered = 0;
    for (;;) {
        HWND shown = nullptr;
        if (!WaitUntil([&] {
                std::vector<HWND> dialogs = Dialogs();
                shown = dialogs.empty() ? nullptr : dialogs[0];
                return shown != nullptr || WaitForSingleObject(g_app.hProcess, 0) == WAIT_OBJECT_0;
            }, kBatchMs))
            Fail("the batch did not end");
        if (shown == nullptr)
            return Finish();
        if (FileNameBox(shown) != nullptr) {
            Close(shown, IDCANCEL);
            break;
        }
        PrintBox(shown);
        if (TextOf(shown) == L"Error") {
            std::string pane = ToUtf8(PaneText());
            Close(shown, IDOK);
            std::fputs(pane.c_str(), stdout);
            return Finish();
        }
        if (answered == answers.size())
            Fail("a question no answer was given for");
        const std::wstring& answer = answers[answered++];
        if (answer == L"exit") {
            std::string pane = ToUtf8(PaneText());
            PostMessageW(GetDlgItem(g_window, kExit), BM_CLICK, 0, 0);
            std::fputs(pane.c_str(), stdout);
            return Finish();
        }
        Close(shown, answer == L"yes" ? IDYES : answer == L"no" ? IDNO : IDCANCEL);
    }
    std::fputs(ToUtf8(PaneText()).c_str(), stdout);
    PostMessageW(GetDlgItem(g_window, kExit), BM_CLICK, 0, 0);
    return Finish();
}

// The window's frame and styles, each control in creation order, then the
// boxes of Help and About, after commands the window must ignore.
int DescribeWindow()
{
    RECT rect = {};
    GetWindowRect(g_window, &rect);
    std::printf("window at %ld,%ld of %dx%d size %ldx%ld style %08lx ex %08lx class style %08lx menu %d\n",
                rect.left, rect.top, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                rect.right - rect.left, rect.bottom - rect.top,
                GetWindowLongW(g_window, GWL_STYLE) & ~WS_CLIPSIBLINGS, GetWindowLongW(g_window, GWL_EXSTYLE),
                static_cast<unsigned long>(GetClassLongPtrW(g_window, GCL_STYLE)), GetMenu(g_window) != nullptr);
    for (HWND child : Children(g_window)) {
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, g_window, reinterpret_cast<POINT*>(&rect), 2);
        std::printf("%s \"%s\" id %d style %08lx ex %08lx at %ld,%ld,%ld,%ld\n", ToUtf8(ClassOf(child)).c_str(),
                    ToUtf8(TextOf(child)).c_str(), GetDlgCtrlID(child), GetWindowLongW(child, GWL_STYLE),
                    GetWindowLongW(child, GWL_EXSTYLE), rect.left, rect.top, rect.right, rect.bottom);
    }
    std::fflush(stdout);
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(504, 0), 0);
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(0, EN_SETFOCUS), 0);
    for (int button : {kHelp, kAbout}) {
        PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(button, 0x1234), 0);
        HWND box = WaitForDialog(false);
        if (box == nullptr)
            Fail("no box");
        PrintBox(box);
        Close(box, IDOK);
    }
    PostMessageW(GetDlgItem(g_window, kExit), BM_CLICK, 0, 0);
    return Finish();
}

} // namespace

int main()
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);
    if (args.size() < 2 || (args[0] != L"pack" && args[0] != L"window")) {
        std::fputs("usage: app_driver pack APP [--answer ANSWER]... MOD... | app_driver window APP\n", stderr);
        return 1;
    }
    // The pane's own line ends, not the C library's translation of them.
    _setmode(_fileno(stdout), _O_BINARY);
    Start(args[1]);
    if (args[0] == L"window")
        return DescribeWindow();
    std::vector<std::wstring> answers;
    std::wstring names;
    HANDLE lock = INVALID_HANDLE_VALUE;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == L"--answer" && i + 1 < args.size())
            answers.push_back(args[++i]);
        else if (args[i] == L"--lock" && i + 1 < args.size())
            lock = CreateFileW(args[++i].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        else
            names += (names.empty() ? L"\"" : L" \"") + args[i] + L"\"";
    }
    int result = Pack(answers, names);
    if (lock != INVALID_HANDLE_VALUE)
        CloseHandle(lock);
    return result;
}
