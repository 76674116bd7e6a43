// Filling the header and directory entries in memory, for every writer of
// the format: our own (version 3) and the test tools' other layouts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/compound_file/format.h"

namespace cfb {

// The header's fields that differ between files. FAT sectors are
// consecutive, so the header's DIFAT list names them from firstFatSector.
struct HeaderFields {
    std::uint16_t majorVersion = kMajorVersion3;
    std::uint16_t sectorShift = kSectorShift;
    std::uint32_t directorySectors = 0;  // version 3 leaves it 0
    std::uint32_t firstDirectorySector = kEndOfChain;
    std::uint32_t fatSectors = 0;
    std::uint32_t firstFatSector = 0;
    std::uint32_t miniFatSectors = 0;
    std::uint32_t firstMiniFatSector = kEndOfChain;
    std::uint32_t difatSectors = 0;
    std::uint32_t firstDifatSector = kEndOfChain;
};

// Writes the kHeaderSize bytes of a header.
void FillHeader(std::uint8_t* header, const HeaderFields& fields);

// Writes one directory entry over zeroed bytes.
void FillEntry(std::uint8_t* entry, const std::u16string& name, std::uint8_t type, bool red,
               std::uint32_t left, std::uint32_t right, std::uint32_t child, std::uint32_t start,
               std::uint64_t size);

}  // namespace cfb
