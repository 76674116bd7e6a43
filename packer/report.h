// Messages of the packer: formatted into a buffer of kMessageChars units
// (cut there when longer) and appended to the output log.
#pragma once

#include "platform/platform.h"

// Appends format with its one %s replaced by name.
void Report(const WCHAR* format, const WCHAR* name);
