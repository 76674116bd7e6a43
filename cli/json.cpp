#include "cli/json.h"

std::u16string JsonString(const std::u16string& text)
{
    static const char kHex[] = "0123456789abcdef";
    std::u16string json = u"\"";
    for (char16_t unit : text) {
        if (unit == u'"' || unit == u'\\') {
            json += u'\\';
            json += unit;
        } else if (unit >= 0x20 && unit < 0x7F) {
            json += unit;
        } else {
            json += u"\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                json += static_cast<char16_t>(kHex[(unit >> shift) & 0xF]);
        }
    }
    return json + u"\"";
}
