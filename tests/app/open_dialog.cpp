#include "tests/app/open_dialog.h"

#include <vector>

#include "tests/app/windows_of_process.h"

namespace {

constexpr int kWindowsFileNameCombo = 0x47C;  // cmb13
constexpr int kWineFileNameEdit = 0x480;      // edt1

bool IsEdit(HWND window)
{
    return window != nullptr && _wcsicmp(ClassOf(window).c_str(), L"Edit") == 0;
}

} // namespace

HWND FileNameBox(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, kWineFileNameEdit);
    if (IsEdit(edit))
        return edit;
    HWND combo = GetDlgItem(dialog, kWindowsFileNameCombo);
    if (combo != nullptr) {
        for (HWND child : Descendants(combo)) {
            if (IsEdit(child))
                return child;
        }
    }
    return nullptr;
}

HWND WaitForOpenDialog(DWORD processId, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId, L"#32770")) {
                if (IsWindowVisible(window) && FileNameBox(window) != nullptr &&
                    GetDlgItem(window, IDOK) != nullptr) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool ChooseFiles(HWND dialog, const std::wstring& names)
{
    HWND box = FileNameBox(dialog);
    if (box == nullptr)
        return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()),
                        SMTO_ABORTIFHUNG, kWaitMs, &result);
    if (TextOf(box) != names)
        return false;
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return true;
}

void CancelDialog(HWND dialog)
{
    PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
}
