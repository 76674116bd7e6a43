// UTF-16 <-> UTF-8 for names and paths. Nothing else in the layer converts.
//
// Native names are bytes. Decoding is strict UTF-8 (no overlong forms, no
// encoded surrogates, nothing above U+10FFFF); every byte that is not part of
// a valid sequence becomes the lone surrogate U+DC80 + (byte - 0x80) and is
// written back as that byte, so any native name survives the trip through
// UTF-16 unchanged.
//
// A backslash is a separator in the packer's paths, so a backslash that is
// part of a native name travels as U+F05C and turns back into a backslash on
// the way out. The native encoding of U+F05C itself (EF 81 9C) is therefore
// decoded as three escaped bytes, which keeps that rare name exact as well.
//
// UTF-16 that no native name produces: a lone surrogate outside
// U+DC80..U+DCFF is written as its three-byte generalised UTF-8 form (as
// WTF-8 does) instead of failing; such a name reads back as escaped bytes.
#include "platform/posix/text.h"

namespace {

constexpr char16_t kNameBackslash = 0xF05C;
constexpr char16_t kEscapeBase = 0xDC00;  // escape of byte b is kEscapeBase + b, b >= 0x80

bool IsHighSurrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

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

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes one valid UTF-8 sequence at name[at], stores its code point and
// returns its length; returns 0 when the bytes there are not a valid sequence.
std::size_t DecodeSequence(const std::string& name, std::size_t at, char32_t* c)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(name[at + i]); };
    std::size_t available = name.size() - at;
    unsigned char lead = byte(0);
    std::size_t length;
    char32_t value;
    char32_t smallest;
    if (lead < 0x80) {
        *c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i)))
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *c = value;
    return length;
}

}  // namespace

std::string ToNativePath(const WCHAR* path)
{
    std::string native;
    if (path == nullptr)
        return native;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        char32_t unit = path[i];
        if (unit == u'\\') {
            native += '/';
        } else if (unit == kNameBackslash) {
            native += '\\';
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            native += static_cast<char>(unit - kEscapeBase);
        } else if (IsHighSurrogate(unit) && IsLowSurrogate(path[i + 1])) {
            char32_t low = path[i + 1];
            AppendUtf8(native, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else {
            // Includes the lone surrogates that are not escapes (see above).
            AppendUtf8(native, unit);
        }
    }
    return native;
}

std::u16string FromNativeName(const std::string& name)
{
    std::u16string text;
    text.reserve(name.size());
    std::size_t at = 0;
    while (at < name.size()) {
        char32_t c = 0;
        std::size_t length = DecodeSequence(name, at, &c);
        if (length == 0 || c == kNameBackslash) {
            // Escape the first byte only and look again from the next one:
            // each escaped byte turns back into itself.
            text += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(name[at]));
            ++at;
        } else if (c == u'\\') {
            text += kNameBackslash;
            ++at;
        } else {
            AppendUtf16(text, c);
            at += length;
        }
    }
    return text;
}
