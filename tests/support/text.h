// Text between the test programs' UTF-8 and the platform's UTF-16.
#pragma once

#include <string>

#include "platform/platform.h"

using Text = std::basic_string<WCHAR>;

Text T(const std::string& utf8);
std::string ToUtf8(const Text& text);
