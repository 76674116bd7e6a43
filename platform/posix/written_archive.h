// The archive this layer's storage created last. A half-written archive that
// can't be deleted (its folder is read-only) must still never read as a
// complete one: the deletion then overwrites its header with zeros instead.
#pragma once

#include <sys/stat.h>

void RememberWrittenArchive(const struct stat& file);

// After unlink(path) failed: when path is still the archive remembered (the
// same file, and no one else holds it), zeros its header sector. True when it
// did.
bool SpoilUndeletedArchive(const char* path);
