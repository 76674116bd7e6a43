// Counters of the archive being filled, shared by the packer's operations.
#pragma once

#include <cstdint>

// Number of the next file to add, which is also the name of its stream.
extern std::uint32_t g_fileNumber;

// Number of files the current archive is to hold; shown in the progress line.
extern std::uint32_t g_fileTotal;
