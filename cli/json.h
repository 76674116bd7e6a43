// JSON text for tvpack's machine-readable output.
#pragma once

#include <string>

// A JSON string literal, quotes included. Printable ASCII stays as it is;
// every other unit, non-ASCII included, becomes a \uXXXX escape, so the text
// is plain ASCII and keeps any UTF-16, even a lone surrogate, exactly.
std::u16string JsonString(const std::u16string& text);
