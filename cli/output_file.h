// A file that extract writes: created new, or with `replace` an existing file
// emptied, and never through a symbolic link at its path. Implemented per
// system in posix/output_file.cpp and windows/output_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/native_path.h"

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // closes the file if still open
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each returns an empty text on success, else the system's reason.
    std::u16string Create(const fs::path& path, bool replace);
    std::u16string Write(const std::uint8_t* data, std::size_t size);
    std::u16string Close();

private:
    std::intptr_t handle_ = -1;
};
