// One run of TolvanePacker.exe for a test: started in a given working
// directory, ended (killed if need be) when the test is over.
#pragma once

#include <windows.h>

#include <string>

class RunningApp {
public:
    // Starts the program with workingDirectory as its current directory and
    // waits until its main window is up and its main loop takes messages.
    // started() tells whether that worked; error() says what went wrong.
    explicit RunningApp(const std::wstring& workingDirectory);
    ~RunningApp();
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    bool started() const { return window_ != nullptr; }
    const std::string& error() const { return error_; }

    DWORD processId() const { return processId_; }
    HANDLE process() const { return process_; }
    HANDLE thread() const { return thread_; }
    HWND window() const { return window_; }

    // The control with the given id, or (for the group box and pane, which
    // have id 0) the first descendant of the given class.
    HWND Button(int id) const;
    HWND Pane() const;

    // Presses a button the way a click does, without waiting for what it
    // starts (a message box or dialog runs modally inside the program).
    void Click(int id) const;

    // The output pane's whole text.
    std::wstring PaneText() const;

    // Waits for the process to end; false if it did not in time.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);

private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
    std::string error_;
};
