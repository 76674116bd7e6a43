// Helpers shared by the compound-file tests: stream contents, archives built
// in memory, an independent parser of the written bytes, whole-file and tree
// checks, and sinks that fail or discard on purpose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/compound_file/io.h"

namespace cfb_test {

struct TestStream {
    std::u16string name;
    std::vector<std::uint8_t> bytes;
};

// Deterministic content that differs from stream to stream and from byte to byte.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);
std::u16string Utf16(const std::string& ascii);
std::string Narrow(const std::u16string& text);  // '?' for non-ASCII units
// Streams named "1".."count" with the given sizes cycled.
std::vector<TestStream> NumberedStreams(std::size_t count, const std::vector<std::size_t>& sizes);
// Writes `streams` with cfb::Writer into memory; fails the current test on any error.
std::vector<std::uint8_t> BuildArchive(const std::vector<TestStream>& streams);
// Reads every stream back with cfb::Reader and compares names (in any order)
// and bytes; returns a description of the first difference.
std::string CompareWithReader(const std::vector<std::uint8_t>& file, const std::vector<TestStream>& streams);
// cfb::Reader's message for `file`, empty when it opens.
std::string OpenError(const std::vector<std::uint8_t>& file);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);

constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;

struct RawEntry {
    std::u16string name;
    std::uint16_t nameBytes;
    std::uint8_t type, color;  // color: 0 red, 1 black
    std::uint32_t left, right, child, start, sizeLow, sizeHigh;
    bool zeroClsidStateTimes;
};

// A plain, trusting parser that reads the fields as stored, independently of
// cfb::Reader. Out-of-range accesses throw instead of reading past the data.
class RawView {
public:
    explicit RawView(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint16_t U16(std::size_t offset) const;
    std::uint32_t U32(std::size_t offset) const;
    std::vector<std::uint32_t> FatSectors() const;  // header slots, then the DIFAT chain
    std::vector<std::uint32_t> DifatSectors() const;
    std::vector<std::uint32_t> Fat() const;
    std::vector<std::uint32_t> MiniFat() const;
    // Follows `start` through `table` to ENDOFCHAIN; throws on a loop.
    std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table, std::uint32_t start) const;
    std::vector<RawEntry> Directory() const;

private:
    std::vector<std::uint8_t> Sectors(const std::vector<std::uint32_t>& chain) const;
    const std::vector<std::uint8_t>& bytes_;
};

// Whole-file accounting of an archive with streams in its root: every sector
// and mini sector has exactly one owner, table sectors carry their marks, the
// rest of each table is free. Empty when sound, else the first problem.
std::string CheckLayout(const std::vector<std::uint8_t>& file);

struct TreeReport {
    std::string error;  // empty when every node is reached once and the red-black rules hold
    std::vector<std::uint32_t> inOrder;
    int height = 0;     // nodes on the longest root-to-leaf path
};
// Node ids are 0..left.size()-1; `none` marks a missing child.
TreeReport CheckRedBlackTree(std::uint32_t root, std::uint32_t none, const std::vector<std::uint32_t>& left,
                             const std::vector<std::uint32_t>& right, const std::vector<bool>& red);

// A sink that fails on purpose. Every write past `budget` accepted bytes fails
// with `error`, like a disk that fills up; with `failHeader` the second write
// to the start of the file (the final header) fails instead. A preallocating
// disk of `capacity` bytes refuses writes and reservations past it with
// MediumFull; with `watch` set, writes past the reservation are counted.
// Without `keep`, only the extent of the file and whether the header sector
// got anything but zeros are recorded.
class TestSink final : public cfb::WriteSink {
public:
    struct Record {
        std::uint64_t budget = ~std::uint64_t{0}, capacity = ~std::uint64_t{0};
        cfb::Error error = cfb::Error::MediumFull, closeError = cfb::Error::None;
        bool failHeader = false, keep = true, watch = false;
        std::vector<std::uint8_t> bytes;
        std::uint64_t written = 0, reserved = 0, end = 0;
        int closes = 0, headerWrites = 0, writesPastReservation = 0;
        bool headerWritten = false;
    };
    explicit TestSink(Record& record) : record_(record) {}
    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    cfb::Error Reserve(std::uint64_t size) override;
    cfb::Error Close() override { return ++record_.closes, record_.closeError; }

private:
    Record& record_;
};

}  // namespace cfb_test
