// The SHA-256 of the file a stream holds (its bytes after the name header).
#pragma once

#include <string>

#include "cli/archive.h"

// Empty on success with *digest set to 64 lower-case hex digits; else why
// the stream could not be read or hashed.
std::u16string HashStreamContent(const ModArchive& archive, const ArchiveStream& stream, std::u16string* digest);
