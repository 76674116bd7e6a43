// The main window's commands: Help, About, Exit, closing, commands it does not
// know, the select flag against the quit message, and dragging by the
// background.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/app/message_box.h"
#include "tests/app/running_app.h"
#include "tests/app/windows_of_process.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr int kSelect = 500;
constexpr int kHelp = 501;
constexpr int kAbout = 502;
constexpr int kExit = 503;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

LRESULT HitTest(HWND window, int screenX, int screenY)
{
    DWORD_PTR hit = 0;
    SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(screenX, screenY), SMTO_ABORTIFHUNG,
                        kWaitMs, &hit);
    return static_cast<LRESULT>(hit);
}

void SendMouse(DWORD flags, int screenX, int screenY)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screenX, 65536, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = MulDiv(screenY, 65536, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
    Sleep(50);
}

} // namespace

TEST(AppCommands, HelpShowsItsOwnerlessBoxAsOftenAsAsked)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    app.Click(kHelp);
    HWND box = WaitForMessageBox(app.processId(), L"Help");
    ASSERT_NE(box, nullptr);
    MessageBoxView view = ReadMessageBox(box);
    EXPECT_EQ(view.owner, nullptr);
    EXPECT_EQ(Narrow(view.text), "Select Tolvane mod file(s) to create mod archive(s).");
    EXPECT_EQ(view.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(ShownStandardIcon(view), 32514u);  // IDI_QUESTION

    // Without an owner the main window stays enabled: a second press opens
    // a second box on top of the first.
    EXPECT_TRUE(IsWindowEnabled(app.window()));
    app.Click(kHelp);
    ASSERT_TRUE(WaitUntil([&] { return TopLevelWindows(app.processId(), L"#32770", L"Help").size() == 2; }));

    for (HWND open : TopLevelWindows(app.processId(), L"#32770", L"Help")) {
        PressButton(open, IDOK);
        EXPECT_TRUE(WaitUntilClosed(open));
    }
    EXPECT_TRUE(Responds(app.window()));
    EXPECT_EQ(app.PaneText(), L"");
}

TEST(AppCommands, AboutNamesTheProgramAndItsMaker)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    app.Click(kAbout);
    HWND box = WaitForMessageBox(app.processId(), L"About");
    ASSERT_NE(box, nullptr);
    MessageBoxView view = ReadMessageBox(box);
    EXPECT_EQ(view.owner, nullptr);
    EXPECT_EQ(Narrow(view.text), "Tolvane Packer v 1.0\r\n(c) Tolvane Packer developers");
    EXPECT_EQ(view.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(ShownStandardIcon(view), 32516u);  // IDI_INFORMATION
    EXPECT_TRUE(IsWindowEnabled(app.window()));

    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntilClosed(box));
    EXPECT_TRUE(Responds(app.window()));
}

TEST(AppCommands, ExitEndsTheProgramWithZero)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    app.Click(kExit);
    DWORD code = 1234;
    ASSERT_TRUE(app.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST(AppCommands, ClosingTheWindowEndsTheProgramWithZero)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    PostMessageW(app.window(), WM_CLOSE, 0, 0);
    DWORD code = 1234;
    ASSERT_TRUE(app.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST(AppCommands, ActsOnTheCommandIdAloneAndIgnoresOtherIds)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    // Ids the window does not know, among them the pane's notifications (id 0).
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(504, 0), 0);
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(0, EN_SETFOCUS), 0);
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(499, BN_CLICKED), 0);
    ASSERT_TRUE(Responds(app.window()));
    Sleep(300);
    EXPECT_TRUE(TopLevelWindows(app.processId(), L"#32770").empty());
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // A known id acts whatever the notification code in the high word.
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(kHelp, 0x1234), 0);
    HWND box = WaitForMessageBox(app.processId(), L"Help");
    ASSERT_NE(box, nullptr);
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntilClosed(box));

    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(kExit, 0x55), 0);
    DWORD code = 1234;
    ASSERT_TRUE(app.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST(AppCommands, QuitTakenWhileSelectIsPendingEndsWithoutTheDialog)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    // With the program's thread held, both presses are queued before it looks:
    // the select press raises the flag, but the queue is never empty again
    // before the quit message ends the loop. Had the dialog opened, the
    // process would still be running.
    ASSERT_NE(SuspendThread(app.thread()), static_cast<DWORD>(-1));
    app.Click(kSelect);
    app.Click(kExit);
    ResumeThread(app.thread());

    DWORD code = 1234;
    ASSERT_TRUE(app.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST(AppCommands, BackgroundActsAsCaptionAndControlsStayClickable)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    HWND window = app.window();
    RECT rect = {};
    GetWindowRect(window, &rect);

    // The window's own answer: the client area becomes caption; a point
    // outside the window keeps the default answer.
    EXPECT_EQ(HitTest(window, rect.left + 10, rect.top + 10), HTCAPTION);
    EXPECT_EQ(HitTest(window, rect.left + 320, rect.top + 200), HTCAPTION);
    EXPECT_EQ(HitTest(window, rect.left + 639, rect.top + 399), HTCAPTION);
    EXPECT_EQ(HitTest(window, rect.left - 5, rect.top - 5), HTNOWHERE);

    // A point on a button belongs to the button, which answers as a client.
    POINT onHelp = {rect.left + 100, rect.top + 85};
    EXPECT_EQ(WindowFromPoint(onHelp), app.Button(kHelp));
    EXPECT_EQ(HitTest(app.Button(kHelp), onHelp.x, onHelp.y), HTCLIENT);
}

TEST(AppCommands, DraggingTheBackgroundMovesTheWindow)
{
    TempDir folder;
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();
    HWND window = app.window();
    RECT before = {};
    GetWindowRect(window, &before);

    // Press on the background left of the group box, move, release.
    int x = before.left + 20;
    int y = before.top + 250;
    SendMouse(MOUSEEVENTF_MOVE, x, y);
    SendMouse(MOUSEEVENTF_LEFTDOWN, x, y);
    for (int step = 1; step <= 10; ++step)
        SendMouse(MOUSEEVENTF_MOVE, x + 4 * step, y + 3 * step);
    SendMouse(MOUSEEVENTF_LEFTUP, x + 40, y + 30);
    ASSERT_TRUE(Responds(window));

    RECT after = {};
    ASSERT_TRUE(WaitUntil(
        [&] {
            GetWindowRect(window, &after);
            return after.left == before.left + 40 && after.top == before.top + 30;
        },
        5000))
        << "window at " << after.left << "," << after.top << ", was at " << before.left << ","
        << before.top;
    EXPECT_EQ(after.right - after.left, 640);
    EXPECT_EQ(after.bottom - after.top, 400);

    // A real click into the pane reaches it: it takes the focus.
    int paneX = after.left + 400;
    int paneY = after.top + 200;
    SendMouse(MOUSEEVENTF_MOVE, paneX, paneY);
    SendMouse(MOUSEEVENTF_LEFTDOWN, paneX, paneY);
    SendMouse(MOUSEEVENTF_LEFTUP, paneX, paneY);
    GUITHREADINFO focus = {};
    focus.cbSize = sizeof(focus);
    EXPECT_TRUE(WaitUntil(
        [&] { return GetGUIThreadInfo(GetThreadId(app.thread()), &focus) && focus.hwndFocus == app.Pane(); },
        5000));

    // A real click on a button still reaches it.
    int helpX = after.left + 100;
    int helpY = after.top + 85;
    SendMouse(MOUSEEVENTF_MOVE, helpX, helpY);
    SendMouse(MOUSEEVENTF_LEFTDOWN, helpX, helpY);
    SendMouse(MOUSEEVENTF_LEFTUP, helpX, helpY);
    HWND box = WaitForMessageBox(app.processId(), L"Help");
    ASSERT_NE(box, nullptr);
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntilClosed(box));
}
