#include "cli/text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsControl(char16_t unit)
{
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

// "%" and two hex digits, or "%u" and four ("u" is no hex digit, so the two
// forms can't be mistaken for each other).
std::u16string Escape(char16_t unit)
{
    return unit > 0xFF ? u"%u" + Hex(unit, 4) : u"%" + Hex(unit, 2);
}

}  // namespace

PlatformText ToPlatformText(const std::u16string& text)
{
    return PlatformText(text.begin(), text.end());
}

std::u16string FromPlatformText(const WCHAR* text)
{
    std::u16string result;
    for (std::size_t i = 0; text[i] != 0; ++i)
        result += static_cast<char16_t>(text[i]);
    return result;
}

std::u16string Widen(const std::string& utf8)
{
    std::u16string result;
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        static const unsigned kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t c = lead & kLeadBits[length];
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        if (!valid || c > 0x10FFFF) {
            result += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (c >> 10));
            result += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            result += static_cast<char16_t>(c);
        }
        i += length;
    }
    return result;
}

std::u16string Decimal(std::uint64_t value)
{
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::u16string PadLeft(const std::u16string& text, std::size_t width)
{
    if (text.size() >= width)
        return text;
    return std::u16string(width - text.size(), u' ') + text;
}

std::u16string Escaped(const std::u16string& text, Keep keep)
{
    std::u16string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        bool kept = (unit == u'\n' || unit == u'%') ? keep == Keep::PaneText : unit == u'/' && keep != Keep::Nothing;
        if (StartsSurrogatePair(text, i)) {
            result += text.substr(i++, 2);
        } else if (!kept && (IsControl(unit) || unit == u'%' || unit == u'/' || unit == 0xF05C || IsSurrogate(unit))) {
            result += Escape(unit);
        } else {
            result += unit;
        }
    }
    return result;
}

std::u16string Printable(const std::u16string& text)
{
    return Escaped(text, Keep::Slash);
}

std::u16string Hex(std::uint32_t value, int digits)
{
    std::u16string hex;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        hex += static_cast<char16_t>(kHexDigits[(value >> shift) & 0xF]);
    return hex;
}

bool StartsSurrogatePair(const std::u16string& text, std::size_t i)
{
    return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
           text[i + 1] <= 0xDFFF;
}

std::u16string Quoted(const std::u16string& text)
{
    return u"\"" + Printable(text) + u"\"";
}

bool ParseFileNumber(const std::u16string& name, std::uint32_t* number)
{
    if (name.empty() || name.size() > 10 || name[0] == u'0')
        return false;
    std::uint64_t value = 0;
    for (char16_t unit : name) {
        if (unit < u'0' || unit > u'9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(unit - u'0');
    }
    if (value > 0xFFFFFFFFu)
        return false;
    *number = static_cast<std::uint32_t>(value);
    return true;
}
