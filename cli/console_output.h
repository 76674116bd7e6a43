// The packer's output log and overwrite question on the console.
//
// Texts go to standard output as UTF-8 with "\r\n" turned into "\n".
//
// The progress line ("Adding file 3/12", no line break) is rewritten in place
// on a terminal. When standard output is not a terminal, the line the packer
// is still writing is held back until it ends: a progress text that a later
// one replaces is never printed, so redirected output is exactly the text the
// window's pane would finally show, one progress line per archive.
//
// The overwrite question is answered by policy (--overwrite, --skip) or asked
// on standard error and read from standard input; the end of the input is no
// answer, which makes the packer give up (Fatal).
#pragma once

enum class OverwritePolicy { Ask, Yes, No };

void SetOverwritePolicy(OverwritePolicy policy);

// Ends a line the packer left unfinished, so the shell prompt starts afresh.
void FinishConsoleOutput();
