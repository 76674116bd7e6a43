// A whole directory read at once, in NTFS order, with the facts an
// enumeration reports for each entry.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/win32_subset.h"

struct ListedEntry {
    std::u16string name;  // the name alone, as UTF-16
    DWORD attributes = 0;
};

// Reads the directory at the native path. "." and ".." come first, whether
// or not the file system lists them, then the other entries in NTFS order. Returns false, with errno set, when the directory can't be opened or
// read to the end.
bool ListDirectory(const std::string& nativeDirectory, std::vector<ListedEntry>* entries);
