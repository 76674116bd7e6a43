// Text inside tvpack: UTF-16 in std::u16string. The packer and the system
// take WCHAR strings (char16_t here on POSIX, wchar_t on Windows; 16-bit
// units either way), converted at the call.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

using PlatformText = std::basic_string<WCHAR>;

static_assert(sizeof(WCHAR) == 2, "WCHAR must be a 16-bit code unit");

PlatformText ToPlatformText(const std::u16string& text);
std::u16string FromPlatformText(const WCHAR* text);

// ASCII or UTF-8 text (messages, option names) to UTF-16.
std::u16string Widen(const std::string& utf8);

// Unsigned decimal, no padding.
std::u16string Decimal(std::uint64_t value);

// Right-aligned in a field of `width` units.
std::u16string PadLeft(const std::u16string& text, std::size_t width);

// What Escaped() leaves as it is, beyond the units it always escapes.
enum class Keep {
    Nothing,   // listings: "/" escaped too, since it would pass for a separator
    Slash,     // names and paths in messages (paths on disk hold "/")
    PaneText,  // the packer's own texts: line feeds and "%" kept
};

// The one escaping of everything tvpack prints, so that no text from an
// archive or a disk can drive the terminal or pass for another: "%XX" is the
// character U+00XX and "%uXXXX" the UTF-16 unit U+XXXX. Escaped: "%" itself,
// control characters (C0, DEL and C1, U+0080-U+009F, which holds the CSI),
// surrogates outside a pair (the bytes of a name that was not UTF-8, which
// would go out raw) and U+F05C (a backslash inside a name, which would print
// as a separator).
std::u16string Escaped(const std::u16string& text, Keep keep);

// A name or path for a message, escaped, in double quotes.
std::u16string Quoted(const std::u16string& text);

// The text of a message as printed without quotes, escaped.
std::u16string Printable(const std::u16string& text);

// `value` in `digits` upper-case hexadecimal digits, no prefix.
std::u16string Hex(std::uint32_t value, int digits);

// Whether text[i] is the first unit of a surrogate pair, and whether it is a
// surrogate at all (a lone one stands for a byte of a name that was not UTF-8).
bool StartsSurrogatePair(const std::u16string& text, std::size_t i);
inline bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Reads a stream name as a file number: decimal digits without sign or
// leading zero, 1 to 4294967295. False for anything else.
bool ParseFileNumber(const std::u16string& name, std::uint32_t* number);
