#include "tests/support/text.h"

#include <type_traits>

Text T(const std::string& utf8)
{
    std::u16string wide = std::filesystem::u8path(utf8).u16string();
    return Text(wide.begin(), wide.end());
}

std::string ToUtf8(const Text& text)
{
    return TextPath(text).u8string();
}

Text PathText(const std::filesystem::path& path)
{
    if constexpr (std::is_same_v<WCHAR, wchar_t>) {
        std::wstring native = path.wstring();
        return Text(native.begin(), native.end());
    } else {
        std::u16string native = path.u16string();
        return Text(native.begin(), native.end());
    }
}

std::filesystem::path TextPath(const Text& text)
{
    if constexpr (std::is_same_v<WCHAR, wchar_t>) {
        return std::filesystem::path(std::wstring(text.begin(), text.end()));
    } else {
        return std::filesystem::path(std::u16string(text.begin(), text.end()));
    }
}
