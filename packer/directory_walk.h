// The two walks of a mod directory. Both visit entries in the order the
// enumeration gives them, depth first, skipping "." and "..", and treat every
// entry without the directory attribute as a file.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Counts the files of the whole tree below directory into *count (assigned).
// Returns 0, or -1 after reporting every level of a directory that can't be
// searched (innermost first); *count is then unchanged.
int CountDirectoryFiles(const WCHAR* directory, std::uint32_t* count);

// Adds every file of the tree below directory to the archive with
// AddFileStream. Returns 0, or -1 at the first failure, which only the point
// of failure reports.
int AddDirectoryStreams(const WCHAR* directory, IStorage* storage);
