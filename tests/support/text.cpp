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
