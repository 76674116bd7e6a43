// The component's only contact with storage: a positional write sink for the
// writer and a positional read source for the reader. Files, memory and test
// doubles implement them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/compound_file/error.h"

namespace cfb {

class WriteSink {
public:
    virtual ~WriteSink() = default;

    // Writes all `size` bytes at `offset`, or fails. Writing past the end
    // extends the target; a gap left before `offset` reads back as zeros.
    virtual Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;

    // Makes sure that writes within the first `size` bytes will not fail for
    // lack of space, where the target can promise that (a file system that
    // preallocates); otherwise does nothing. Fails with Error::MediumFull
    // when the space is not there. Never shrinks an earlier reservation.
    virtual Error Reserve(std::uint64_t size) {
        (void)size;
        return Error::None;
    }

    // Completes the target and reports any failure that surfaced late. Called
    // at most once, and only for a complete target; later writes are not
    // made. Space reserved beyond the last byte written is given back. A sink
    // destroyed without it releases the target as it is (a file sink that
    // names its file only when complete discards it).
    virtual Error Close() = 0;
};

class ReadSource {
public:
    virtual ~ReadSource() = default;

    virtual std::uint64_t Size() const = 0;

    // Reads exactly `size` bytes at `offset`. False on an I/O failure or when
    // the range reaches past the end.
    virtual bool ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;

    // Why the last ReadAt() failed, in the system's words; empty when the
    // source can't say (the range reached past the end, say).
    virtual std::string FailureReason() const { return std::string(); }
};

}  // namespace cfb
