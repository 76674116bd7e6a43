#include "tests/support/text.h"

#include <type_traits>

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

Text T(const std::string& utf8)
{
    std::u16string wide = std::filesystem::u8path(utf8).u16string();
    return Text(wide.begin(), wide.end());
}

std::string ToUtf8(const Text& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            char32_t low = static_cast<char16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
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
