#include "tests/app/message_box.h"

#include "tests/app/windows_of_process.h"

HWND WaitForMessageBox(DWORD processId, const wchar_t* caption)
{
    return WaitForTopLevelWindow(processId, L"#32770", caption);
}

MessageBoxView ReadMessageBox(HWND box)
{
    MessageBoxView view;
    view.owner = GetWindow(box, GW_OWNER);
    view.caption = TextOf(box);
    for (HWND child : Descendants(box)) {
        if (!IsWindowVisible(child))
            continue;
        std::wstring className = ClassOf(child);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(className.c_str(), L"Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                DWORD_PTR icon = 0;
                SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &icon);
                view.icon = reinterpret_cast<HICON>(icon);
            } else {
                std::wstring text = TextOf(child);
                if (!text.empty())
                    view.text = text;
            }
        } else if (_wcsicmp(className.c_str(), L"Button") == 0) {
            view.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    return view;
}

void PressButton(HWND box, int id)
{
    PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
}

bool WaitUntilClosed(HWND box)
{
    return WaitUntil([&] { return !IsWindow(box); });
}
