// A sink and a source over memory, for tests and for callers that already
// hold a whole file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/compound_file/io.h"

namespace cfb {

class MemorySink final : public WriteSink {
public:
    // `bytes` receives the file and must outlive the sink.
    explicit MemorySink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    Error Close() override { return Error::None; }

private:
    std::vector<std::uint8_t>& bytes_;
};

class MemorySource final : public ReadSource {
public:
    // Reads from `size` bytes at `data`, which must outlive the source.
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace cfb
