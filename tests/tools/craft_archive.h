// The streams craft_archive writes, and its writers besides our own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CraftStream {
    std::u16string name;
    std::vector<std::uint8_t> content;
};

// A version 4 file (4096-byte sectors), laid out table by table. Empty on
// success, else what went wrong.
std::string WriteVersion4(const std::string& path, const std::vector<CraftStream>& streams);

// The system's compound-file library in direct mode (Windows only).
std::string WriteWithSystem(const std::string& path, const std::vector<CraftStream>& streams);
