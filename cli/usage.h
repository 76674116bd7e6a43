// The help text and the version line.
#pragma once

#include <string>

extern const char16_t kUsageText[];
extern const char16_t kVersionText[];
