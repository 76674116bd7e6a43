// How the packer talks to its user: the output log and the one question it
// asks. The window program shows them in its pane and a message box, tvpack on
// the console, and the tests record them.
#pragma once

#include "platform/platform.h"

// Adds text at the caret of the log (the end, unless the user moved it).
void AppendOutput(const WCHAR* text);

// Replaces the log's current line (from its start to the end) with text; used
// only for the progress line, which ends without a line break.
void ReplaceCurrentOutputLine(const WCHAR* text);

// Asks whether an existing archive may be overwritten. Returns IDYES, IDNO,
// IDCANCEL, or anything else (such as 0) when no usable answer was given.
int AskOverwrite(const WCHAR* question);
