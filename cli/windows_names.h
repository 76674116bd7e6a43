// Names that Windows can't create: a mod packed elsewhere may hold them, and
// then neither tvpack nor the game finds those files on Windows. pack warns
// about them and verify notes them; extract on Windows refuses them.
#pragma once

#include <string>
#include <vector>

#include "cli/archive.h"

enum class WindowsNameFault {
    None,
    ControlCharacter,   // U+0000 to U+001F
    ReservedCharacter,  // < > : " | ? *
    DotName,            // "." or "..": the folder itself or the one above
    TrailingDotOrSpace, // Windows drops them, so the name would be another
    DeviceName,         // CON, PRN, AUX, NUL, COM0-9, LPT0-9, COM and LPT with a superscript
                        // 1 to 3, CONIN$, CONOUT$, with or without an extension
    NotUtf8,            // bytes that were not valid UTF-8 on disk (lone surrogates)
    BackslashStandIn,   // U+F05C, which the archive keeps as its UTF-8 bytes because the
                        // unit stands for a backslash inside a name
};

// The first fault of one path component, in the order of the enumeration.
WindowsNameFault FindWindowsNameFault(const std::u16string& component);

// One stored path that Windows can't create, or two that Windows takes for
// one file (equal but for case, as NTFS compares names).
struct WindowsNameFinding {
    std::u16string stream;  // the stream's name
    std::u16string text;    // the path and why, for a message
};

// Every stream's header path that Windows can't create, and each that is
// another's but for case, in file number order.
std::vector<WindowsNameFinding> FindWindowsNames(const std::vector<ArchiveStream>& streams);

// verify's notes: one line per finding, which does not count as a problem.
std::u16string WindowsNameNotes(const std::vector<ArchiveStream>& streams);
