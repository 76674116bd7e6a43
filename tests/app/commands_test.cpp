// The main window's commands: Help, About, Exit, closing, commands it does not
// know, the select flag against the quit message, and dragging by the
// background.
#include <gtest/gtest.h>

#include "tests/app/driver.h"

namespace {

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

class AppCommands : public AppTest {
protected:
    // Waits for the box, presses OK and waits for it to go.
    ::testing::AssertionResult ClosesBox(const wchar_t* caption)
    {
        HWND box = WaitForMessageBox(app.processId(), caption);
        if (box == nullptr)
            return ::testing::AssertionFailure() << "no box " << Narrow(caption);
        PressButton(box, IDOK);
        return WaitUntilClosed(box) ? ::testing::AssertionSuccess()
                                    : ::testing::AssertionFailure() << "the box stayed";
    }
};

} // namespace

TEST_F(AppCommands, HelpAndAboutShowTheirOwnerlessBoxes)
{
    const struct {
        int id;
        const wchar_t* caption;
        const char* text;
        ULONG_PTR icon;
    } kBoxes[] = {
        {kHelp, L"Help", "Select Tolvane mod file(s) to create mod archive(s).", 32514},  // question
        {kAbout, L"About", "Tolvane Packer v 1.0\r\n(c) Tolvane Packer developers", 32516},  // information
    };
    for (const auto& expected : kBoxes) {
        SCOPED_TRACE(expected.text);
        app.Click(expected.id);
        HWND box = WaitForMessageBox(app.processId(), expected.caption);
        ASSERT_NE(box, nullptr);
        MessageBoxView view = ReadMessageBox(box);
        EXPECT_EQ(view.owner, nullptr);
        EXPECT_EQ(Narrow(view.text), expected.text);
        EXPECT_EQ(view.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(ShownStandardIcon(view), expected.icon);
        PressButton(box, IDOK);
        EXPECT_TRUE(WaitUntilClosed(box));
    }
    EXPECT_EQ(app.PaneText(), L"");
}

TEST_F(AppCommands, ExitEndsTheProgramWithZero)
{
    app.Click(kExit);
    EXPECT_TRUE(app.ExitsWith(0));
}

TEST_F(AppCommands, ClosingTheWindowEndsTheProgramWithZero)
{
    PostMessageW(app.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.ExitsWith(0));
}

TEST_F(AppCommands, ActsOnTheCommandIdAloneAndIgnoresOtherIds)
{
    // Ids the window does not know, among them the pane's notifications (id 0).
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(504, 0), 0);
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(0, EN_SETFOCUS), 0);
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(499, BN_CLICKED), 0);
    ASSERT_TRUE(Responds(app.window()));
    Sleep(300);
    EXPECT_TRUE(TopLevelWindows(app.processId(), L"#32770").empty());

    // A known id acts whatever the notification code in the high word.
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(kHelp, 0x1234), 0);
    EXPECT_TRUE(ClosesBox(L"Help"));
    PostMessageW(app.window(), WM_COMMAND, MAKEWPARAM(kExit, 0x55), 0);
    EXPECT_TRUE(app.ExitsWith(0));
}

TEST_F(AppCommands, QuitTakenWhileSelectIsPendingEndsWithoutTheDialog)
{
    // With the program's thread held, both presses are queued before it
    // looks: the quit message ends the loop before the select flag is acted
    // on. Had the dialog opened, the process would still be running.
    ASSERT_NE(SuspendThread(app.thread()), static_cast<DWORD>(-1));
    app.Click(kSelect);
    app.Click(kExit);
    ResumeThread(app.thread());
    EXPECT_TRUE(app.ExitsWith(0));
}

TEST_F(AppCommands, DraggingTheBackgroundMovesTheWindowAndButtonsStayClickable)
{
    // The background answers WM_NCHITTEST as caption: pressing it left of
    // the group box and moving drags the window.
    RECT before = {}, after = {};
    GetWindowRect(app.window(), &before);
    int x = before.left + 20, y = before.top + 250;
    SendMouse(MOUSEEVENTF_MOVE, x, y);
    SendMouse(MOUSEEVENTF_LEFTDOWN, x, y);
    for (int step = 1; step <= 10; ++step)
        SendMouse(MOUSEEVENTF_MOVE, x + 4 * step, y + 3 * step);
    SendMouse(MOUSEEVENTF_LEFTUP, x + 40, y + 30);
    ASSERT_TRUE(WaitUntil(
        [&] {
            GetWindowRect(app.window(), &after);
            return after.left == before.left + 40 && after.top == before.top + 30;
        },
        5000))
        << "window at " << after.left << "," << after.top;
    EXPECT_EQ(after.right - after.left, 640);
    EXPECT_EQ(after.bottom - after.top, 400);

    // A real click on a button still reaches it.
    SendMouse(MOUSEEVENTF_MOVE, after.left + 100, after.top + 85);
    SendMouse(MOUSEEVENTF_LEFTDOWN, after.left + 100, after.top + 85);
    SendMouse(MOUSEEVENTF_LEFTUP, after.left + 100, after.top + 85);
    EXPECT_TRUE(ClosesBox(L"Help"));
}
