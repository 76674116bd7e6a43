// Detects directory paths that pass through the same directory twice: the
// mark of a link that leads back up the tree. Walking such a path would list
// the same entries again and again until the path grows too long.
#pragma once

#include <string>

// True when two components of the native path name the same directory (by
// device and inode). "." is skipped and ".." steps back, as the path reads.
bool RevisitsDirectory(const std::string& nativePath);
