// Helpers shared by the compound-file tests: stream contents, archives built
// in memory, and sinks that fail or discard on purpose.
#pragma once

#include <cstdint>
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

// Writes `streams` with cfb::Writer into memory, each in one Write() call;
// fails the current test on any error.
std::vector<std::uint8_t> BuildArchive(const std::vector<TestStream>& streams);

// Reads every stream back with cfb::Reader and compares names (in any order)
// and bytes with `streams`; returns a description of the first difference.
std::string CompareWithReader(const std::vector<std::uint8_t>& file, const std::vector<TestStream>& streams);

// Keeps written bytes in memory until `budget` bytes have been accepted, then
// fails every write with `error`, like a disk that fills up. With
// `failHeader`, it instead fails the second write to the start of the file
// (the final header). The record outlives the sink.
class FailingSink final : public cfb::WriteSink {
public:
    struct Record {
        std::vector<std::uint8_t> bytes;
        std::uint64_t written = 0;  // bytes accepted
        int closes = 0;
    };
    FailingSink(Record& record, std::uint64_t budget, cfb::Error error, bool failHeader = false,
                cfb::Error closeError = cfb::Error::None)
        : record_(record), budget_(budget), error_(error), failHeader_(failHeader), closeError_(closeError) {}
    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    cfb::Error Close() override {
        ++record_.closes;
        return closeError_;
    }

private:
    Record& record_;
    std::uint64_t budget_;
    cfb::Error error_;
    bool failHeader_;
    int headerWrites_ = 0;
    cfb::Error closeError_;
};

// A disk of `capacity` bytes that preallocates: writes and reservations
// beyond the capacity fail with MediumFull. With `watch` set, it counts the
// writes that reach past the current reservation.
class SpaceSink final : public cfb::WriteSink {
public:
    struct Record {
        std::vector<std::uint8_t> bytes;
        std::uint64_t capacity = 0;
        std::uint64_t reserved = 0;
        bool watch = false;
        int writesPastReservation = 0;
    };
    explicit SpaceSink(Record& record) : record_(record) {}
    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    cfb::Error Reserve(std::uint64_t size) override;
    cfb::Error Close() override { return cfb::Error::None; }

private:
    Record& record_;
};

// Accepts every write without keeping it, recording the extent of the file
// and whether anything but zeros went into the header's first sector.
class DiscardSink final : public cfb::WriteSink {
public:
    struct Record {
        std::uint64_t end = 0;
        bool headerWritten = false;
        bool closed = false;
    };
    explicit DiscardSink(Record& record) : record_(record) {}
    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    cfb::Error Close() override {
        record_.closed = true;
        return cfb::Error::None;
    }

private:
    Record& record_;
};

}  // namespace cfb_test
