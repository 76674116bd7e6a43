// The system's own words for an error code: strerror() of an errno value on
// POSIX, FormatMessage() of a GetLastError() value or an HRESULT on Windows.
// Implemented per system in posix/system_reason.cpp and windows/system_reason.cpp.
#pragma once

#include <string>

std::u16string SystemReason(unsigned long code);
