// Scratch folders and files for tests.
#pragma once

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Writes bytes to a file, creating the folders above it.
void WriteBytes(const fs::path& file, const std::string& bytes);
std::string ReadBytes(const fs::path& file);

// Deterministic filler content of a given size.
std::string PatternBytes(std::size_t size, unsigned seed);
