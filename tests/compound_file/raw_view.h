// A plain, trusting parser of compound files for the tests: it reads the
// fields as stored, independently of cfb::Reader, so that layout tests check
// the writer's output byte by byte. Out-of-range accesses throw
// std::out_of_range instead of reading past the data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cfb_test {

constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
constexpr std::uint32_t kFatMark = 0xFFFFFFFDu;
constexpr std::uint32_t kDifatMark = 0xFFFFFFFCu;

struct RawEntry {
    std::u16string name;
    std::uint16_t nameBytes;
    std::uint8_t type;
    std::uint8_t color;  // 0 red, 1 black
    std::uint32_t left, right, child;
    std::uint32_t start;
    std::uint32_t sizeLow, sizeHigh;
    bool zeroClsidStateTimes;
};

class RawView {
public:
    explicit RawView(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::uint16_t U16(std::size_t offset) const;
    std::uint32_t U32(std::size_t offset) const;
    std::size_t SectorCount() const { return bytes_.size() / 512 - 1; }

    // The FAT sector numbers: the header's slots, then the DIFAT chain.
    std::vector<std::uint32_t> FatSectors() const;
    std::vector<std::uint32_t> DifatSectors() const;
    std::vector<std::uint32_t> Fat() const;
    std::vector<std::uint32_t> MiniFat() const;
    // Follows `start` through `table` to ENDOFCHAIN; throws on a loop.
    std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table, std::uint32_t start) const;
    std::vector<RawEntry> Directory() const;
    std::vector<std::uint8_t> StreamBytes(const RawEntry& entry) const;

private:
    std::vector<std::uint8_t> Sectors(const std::vector<std::uint32_t>& chain) const;
    const std::vector<std::uint8_t>& bytes_;
};

}  // namespace cfb_test
