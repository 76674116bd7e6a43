// The layout every mod archive has: streams named "1" to "N"; stream 1 holds
// the mod file, whose header path is a bare file name ending in ".tvx"; every
// other stream holds a file under the mod directory, which bears the mod
// file's base name, so its path is that name, then folders, then the file's
// name, joined by backslashes. Paths must be relative, free of empty, "." and
// ".." components and of names this system can't create, and no path may
// repeat another or run through another file. A name header holds nothing
// but zeros after its path, so that no reader finds more in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/archive.h"

struct Layout {
    // Each problem names the stream it was found in.
    std::vector<std::u16string> problems;
    // The files in number order, when there are no problems.
    std::vector<LayoutFile> files;
};

Layout CheckLayout(const std::vector<ArchiveStream>& streams);

// Splits a header path into components. Empty on success, else what is wrong
// with the path (absolute, a drive letter, an empty, "." or ".." component, a
// slash, a name this system can't create).
std::u16string SplitHeaderPath(const std::u16string& path, std::vector<std::u16string>* components);
