// Name comparisons of the walks: exact, one UTF-16 unit at a time.
#pragma once

#include "platform/platform.h"

// Case-sensitive comparison over the whole strings.
bool SameText(const WCHAR* a, const WCHAR* b);

// "." or "..", the entries every directory listing starts with.
bool IsDotEntry(const WCHAR* name);
