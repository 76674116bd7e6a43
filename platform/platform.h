// The one header the packer includes: the Win32 subset it is written against.
// On Windows that is the system itself; elsewhere it is our own layer, which
// declares the same names with the same meaning.
#pragma once

#ifdef _WIN32
#include "platform/windows/win32.h"
#else
#include "platform/posix/win32_subset.h"
#endif
