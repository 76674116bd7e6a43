// What Reader::Open() learns about a file, shared by the reader's parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/compound_file/io.h"
#include "platform/compound_file/reader.h"

namespace cfb {
namespace reading {

// What owns a sector or mini sector.
enum Use : std::uint8_t {
    kUnused = 0,
    kUseFat,
    kUseDifat,
    kUseDirectory,
    kUseMiniFat,
    kUseMiniStream,
    kUseStream,
};

// The units (sectors or mini sectors) of one chain, as runs of consecutive
// unit numbers.
struct Chain {
    struct Run {
        std::uint32_t first;
        std::uint32_t count;
    };
    std::vector<Run> runs;
    std::vector<std::uint64_t> runStart;  // chain position of each run's first unit
    std::uint64_t units = 0;

    void Append(std::uint32_t unit);
};

// One directory entry's fields, as stored.
struct RawEntry {
    std::uint8_t type;
    std::uint8_t color;
    std::uint32_t left;
    std::uint32_t right;
    std::uint32_t child;
    std::uint32_t start;
    std::uint64_t size;  // version 3: the low 32 bits only
};

// Follows a chain from `start` through `table`, marking each unit in `use`.
// With `expected` set, the chain must hold exactly that many units; without,
// it runs to its end. Fails, naming `what`, on a unit out of range or already
// in use (a loop or crossed chains), or on a wrong length. Takes at most
// table.size() steps.
constexpr std::uint64_t kUnknownLength = ~std::uint64_t{0};
std::string WalkChain(const std::vector<std::uint32_t>& table, std::vector<std::uint8_t>& use,
                      std::uint8_t useKind, std::uint32_t start, std::uint64_t expected,
                      const std::string& what, Chain& chain);

}  // namespace reading

struct Reader::State {
    ReadSource* source = nullptr;
    std::uint8_t header[512] = {};
    std::uint16_t major = 0;
    std::uint32_t sectorShift = 0;
    std::uint32_t sectorSize = 0;
    std::uint64_t fileSectors = 0;  // whole sectors after the header

    std::vector<std::uint32_t> fat;  // entries of the sectors inside the file
    std::uint64_t fatEntriesBeyondFileInUse = 0;
    // The first DIFAT slot after the last FAT sector that is not FREESECT, as
    // (DIFAT sector, slot); every reader stops at the FAT count, but some take
    // such a slot for damage.
    std::uint32_t usedDifatSlotSector = kNoSlot;
    std::uint32_t usedDifatSlot = 0;
    static constexpr std::uint32_t kNoSlot = ~std::uint32_t{0};
    std::vector<std::uint8_t> sectorUse;  // reading::Use of each sector in the file

    std::vector<std::uint32_t> miniFat;  // entries of the mini stream's sectors
    std::uint64_t miniFatEntriesBeyondInUse = 0;
    std::vector<std::uint8_t> miniUse;
    reading::Chain miniStream;
    std::uint64_t miniSectorCount = 0;
    std::uint64_t miniDataEnd = 0;  // where the small streams' last bytes end in the mini stream

    std::vector<std::uint8_t> directory;  // the raw directory sectors
    std::vector<reading::RawEntry> raw;
    std::vector<bool> reachable;
    // Storages reached from the root (the root first), each with its children
    // in the tree's in-order.
    std::vector<std::uint32_t> storages;
    std::vector<std::vector<std::uint32_t>> children;

    std::vector<Entry> entries;  // the root's children
    std::vector<reading::Chain> chains;  // of each stream in entries
    std::vector<bool> inMiniStream;

    std::uint64_t SectorOffset(std::uint64_t sector) const { return (sector + 1) << sectorShift; }
    std::u16string EntryName(std::uint32_t id) const;
    // Reads `size` bytes at `offset` of a stream laid out in `chain`.
    std::string ReadChain(const reading::Chain& chain, bool mini, std::uint64_t offset,
                          std::uint8_t* buffer, std::size_t size) const;
};

}  // namespace cfb
