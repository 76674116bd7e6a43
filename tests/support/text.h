// Text between the test programs' UTF-8 and the platform's UTF-16.
#pragma once

#include <string>

#include "tests/support/output_recorder.h"

Text T(const std::string& utf8);
std::string ToUtf8(const Text& text);
