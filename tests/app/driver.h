// The Windows test driver's tools: finding and reading the windows of another
// process with bounded waits, running TolvanePacker.exe, answering its
// message boxes and its file-open dialog, and capturing the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

// Given on the driver's command line: the program under test and the folder
// for screenshots.
const std::wstring& AppPath();
const std::wstring& ArtifactFolder();

// How long any single wait for the program under test may take.
constexpr DWORD kWaitMs = 20000;

// The main window's command ids.
constexpr int kSelect = 500;
constexpr int kHelp = 501;
constexpr int kAbout = 502;
constexpr int kExit = 503;

std::string Narrow(const std::wstring& text);

// Polls until the condition holds or the time is up; returns the last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// The process's top-level windows of a class (and caption, when given).
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className,
                                  const wchar_t* caption = nullptr);
std::vector<HWND> Descendants(HWND parent);
std::wstring ClassOf(HWND window);
// WM_GETTEXT, which the system carries across processes.
std::wstring TextOf(HWND window);
// Whether the owning thread handles a sent message, i.e. takes messages.
bool Responds(HWND window);

// One run of the program in a working directory, killed at the end if need be.
class RunningApp {
public:
    explicit RunningApp(const std::wstring& workingDirectory);
    ~RunningApp();
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    bool started() const { return window_ != nullptr; }
    const std::string& error() const { return error_; }
    DWORD processId() const { return info_.dwProcessId; }
    HANDLE thread() const { return info_.hThread; }
    HWND window() const { return window_; }
    HWND Button(int id) const { return GetDlgItem(window_, id); }
    // Presses a button the way a click does, without waiting for what it starts.
    void Click(int id) const { PostMessageW(Button(id), BM_CLICK, 0, 0); }
    std::wstring PaneText() const;
    // Waits for the process to end with this exit code.
    ::testing::AssertionResult ExitsWith(DWORD expected);

private:
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
    std::string error_;
};

struct MessageBoxView {
    HWND owner = nullptr;
    std::wstring text;
    std::vector<int> buttons;     // ids of the visible buttons, in Z order
    HWND defaultButton = nullptr;
    HWND iconWindow = nullptr;
};

// Waits for a message box of the process with this caption; null if none.
HWND WaitForMessageBox(DWORD processId, const wchar_t* caption);
MessageBoxView ReadMessageBox(HWND box);
// Which system icon (32513 hand .. 32516 asterisk) the box shows, found by
// comparing its pixels with each icon drawn here; 0 for none. Icon handles
// cannot be compared across processes.
ULONG_PTR ShownStandardIcon(const MessageBoxView& view);
// Posts BM_CLICK to the button with this id of a box or dialog.
void PressButton(HWND box, int id);
bool WaitUntilClosed(HWND window);

// Waits for the file-open dialog; null if it did not appear. ChooseFiles types
// the quoted names, "a.tvx" "b.tvx", into its file name box and presses Open.
HWND WaitForOpenDialog(DWORD processId);
bool ChooseFiles(HWND dialog, const std::wstring& names);

// Pixels (0x00RRGGBB) of a width x height canvas after paint drew on it.
std::vector<DWORD> Paint(int width, int height, const std::function<void(HDC)>& paint);
std::vector<DWORD> CaptureScreen(const RECT& rect);
bool SaveScreenRect(const RECT& rect, const std::wstring& path);

// A test with the program running in a fresh folder.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.started()) << app.error(); }
    TempDir folder;
    RunningApp app{folder.path().wstring()};
};
