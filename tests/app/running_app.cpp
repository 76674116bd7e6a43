#include "tests/app/running_app.h"

#include "tests/app/driver_config.h"
#include "tests/app/windows_of_process.h"

RunningApp::RunningApp(const std::wstring& workingDirectory)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = L"\"" + AppPath() + L"\"";
    if (!CreateProcessW(AppPath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.c_str(), &startup, &info)) {
        error_ = "CreateProcessW failed with error " + std::to_string(GetLastError());
        return;
    }
    process_ = info.hProcess;
    thread_ = info.hThread;
    processId_ = info.dwProcessId;

    HWND window = WaitForTopLevelWindow(processId_, L"WindowClass", L"Tolvane Packer");
    if (window == nullptr) {
        error_ = "the main window did not appear";
        return;
    }
    // The pane is the last control made; the main loop runs after the dialog
    // set-up, and it is the first to answer a sent message.
    if (!WaitUntil([&] { return Descendants(window).size() >= 6; }) || !Responds(window)) {
        error_ = "the main window did not get ready";
        return;
    }
    window_ = window;
}

RunningApp::~RunningApp()
{
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, kWaitMs);
        }
        CloseHandle(thread_);
        CloseHandle(process_);
    }
}

HWND RunningApp::Button(int id) const
{
    return GetDlgItem(window_, id);
}

HWND RunningApp::Pane() const
{
    for (HWND child : Descendants(window_)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"EDIT") == 0)
            return child;
    }
    return nullptr;
}

void RunningApp::Click(int id) const
{
    PostMessageW(Button(id), BM_CLICK, 0, 0);
}

std::wstring RunningApp::PaneText() const
{
    return TextOf(Pane());
}

bool RunningApp::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process_, exitCode);
    return true;
}
