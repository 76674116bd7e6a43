// The one place where UTF-16 text meets the UTF-8 byte names of POSIX.
//
// Names that are not valid UTF-8 survive the round trip: each byte that cannot
// be decoded becomes the lone surrogate U+DC80 + byte, and turns back into that
// byte on the way out. Characters outside the BMP use surrogate pairs.
#pragma once

#include <string>

#include "platform/posix/win32_subset.h"

// UTF-16 path as the packer writes it (backslash separators) to a native path
// (slash separators).
std::string ToNativePath(const WCHAR* path);

// A native file or directory name (one component, or a whole path) to UTF-16.
std::u16string FromNativeName(const std::string& name);
