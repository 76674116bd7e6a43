// An archive whose writing failed never takes its name (storage.cpp), so a
// file found at that name afterwards is another one: most often the archive
// it was to replace. The packer deletes the archive after such a failure;
// DeleteFileW leaves that other file alone, as this run did not create it.
#pragma once

#include <string>

// Whether `path` is the name the last archive was to have and never took.
bool IsAbandonedArchive(const std::string& path);
