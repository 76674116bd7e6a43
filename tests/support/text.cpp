#include "tests/support/text.h"

#include <filesystem>

Text T(const std::string& utf8)
{
    std::u16string wide = std::filesystem::u8path(utf8).u16string();
    return Text(wide.begin(), wide.end());
}

std::string ToUtf8(const Text& text)
{
    return std::filesystem::path(std::u16string(text.begin(), text.end())).u8string();
}

std::string OneLine(const Text& text)
{
    std::string line;
    for (char c : ToUtf8(text))
        line += c == '\r' ? "" : c == '\n' ? "\\n" : std::string(1, c);
    return line;
}

#ifdef _WIN32
Text TextOf(HWND window)
{
    Text text(1 << 20, L'\0');
    DWORD_PTR length = 0;
    LPARAM buffer = reinterpret_cast<LPARAM>(&text[0]);
    bool sent = SendMessageTimeoutW(window, WM_GETTEXT, text.size(), buffer, SMTO_ABORTIFHUNG, 20000, &length);
    return text.substr(0, sent ? length : 0);
}

std::string DescribeBox(HWND box, std::string (*iconOf)(HWND))
{
    std::string icon = "none", buttons;
    Text text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        WCHAR kind[16] = {};
        GetClassNameW(child, kind, 16);
        DWORD_PTR shown = 0;
        if (!(style & WS_VISIBLE))
            continue;
        else if (_wcsicmp(kind, L"Button") == 0)
            buttons += " " + std::to_string(GetDlgCtrlID(child)) + ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "*" : "");
        else if (_wcsicmp(kind, L"Static") != 0)
            continue;
        else if ((style & SS_TYPEMASK) != SS_ICON)
            text += TextOf(child);
        // An icon control that holds no icon shows nothing; the box's text may then lie over it.
        else if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 20000, &shown) && shown != 0)
            icon = iconOf(child);
    }
    return "\"" + ToUtf8(TextOf(box)) + "\" icon " + icon + (GetWindow(box, GW_OWNER) ? " owned" : "") + " buttons" +
           buttons + " text: " + OneLine(text);
}
#endif
