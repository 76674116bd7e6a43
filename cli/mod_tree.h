// The files of a mod directory as the packer meets them: the same directory
// enumeration (the platform's FindFirstFileExW / FindNextFileW), depth first,
// "." and ".." skipped, every entry without the directory attribute a file.
#pragma once

#include <string>
#include <vector>

// Appends each file below `directory` (a full path, as text) to *files as
// `prefix`, a backslash and the names below the directory joined by
// backslashes: the path the archive's header holds for it. Empty on success,
// else which folder can't be searched.
std::u16string ListModFiles(const std::u16string& directory, const std::u16string& prefix,
                            std::vector<std::u16string>* files);
