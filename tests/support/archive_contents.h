// Reads an archive back with our own compound-file reader, for assertions.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_tree.h"
#include "tests/support/text.h"

struct ArchiveStream {
    std::string name;   // stream name, UTF-8
    std::string bytes;  // whole content: name header and file bytes
};

// The root's streams in name order ("1", "2", ... "10"), or an empty list with
// *error set when the archive can't be read.
std::vector<ArchiveStream> ReadArchiveStreams(const fs::path& archive, std::string* error);

// Empty when the two byte strings are equal, else where and how they differ
// (short enough to read in a failure message).
std::string Difference(const std::string& actual, const std::string& expected);

// The stream an archive should hold for a file recorded under headerPath.
std::string ExpectedStream(const Text& headerPath, const std::string& fileBytes);
