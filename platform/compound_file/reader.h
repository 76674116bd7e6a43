// Reads compound files (versions 3 and 4): lists the root storage and reads
// streams. Open() checks the whole structure first and rejects a malformed
// file with an English message; after that every read stays inside the file
// and every walk is bounded, whatever the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/compound_file/io.h"

namespace cfb {

enum class EntryType : std::uint8_t { Storage = 1, Stream = 2 };

struct Entry {
    std::u16string name;
    EntryType type;
    std::uint64_t size;  // bytes of a stream; 0 for a storage
    std::uint32_t id;    // the entry's number in the directory
};

// One thing CheckStructure() found, classed by what the common readers make
// of it. A fault makes some reader take out other bytes, miss a stream or
// fail on one (or breaks the tables every reader walks). Refused by a reader:
// `reader` refuses the whole file while the others all read the same. A
// writer's choice: every reader reads the same (tree colours and balance,
// blank unused entries, a short last sector).
struct Finding {
    enum class Kind { Fault, RefusedByReader, WritersChoice };
    Kind kind;
    std::string text;
    std::string reader;  // which reader refuses the file, for RefusedByReader
};

// Receives successive pieces of a stream; returning false stops the read.
using ChunkFunction = std::function<bool(const std::uint8_t* data, std::size_t size)>;

class Reader {
public:
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Parses and checks `source`, which must outlive the reader. Returns an
    // empty string on success, else what is wrong with the file.
    std::string Open(ReadSource& source);

    // The root storage's elements in the order of the directory tree (the
    // format's name order: shorter names first, then by upper-cased units).
    const std::vector<Entry>& Entries() const;

    // Index into Entries() of the element named `name` (compared as the format
    // compares names), or -1.
    long Find(const std::u16string& name) const;

    // Copies `size` bytes from `offset` of stream Entries()[index]. Returns an
    // empty string on success, else the reason (out of range, read failure).
    std::string Read(std::size_t index, std::uint64_t offset, void* buffer, std::size_t size) const;

    // Delivers the whole stream Entries()[index] in pieces of at most
    // `chunkSize` bytes. Returns an empty string on success (or when `chunk`
    // stopped early), else the reason.
    std::string ReadAll(std::size_t index, const ChunkFunction& chunk,
                        std::size_t chunkSize = 1u << 20) const;

    // Whole-file consistency beyond what reading needs: FAT and DIFAT sectors
    // not marked as such, FAT entries past the end of the file that are not
    // free, directory trees out of name order, entries no tree reaches; and
    // the writer's choices besides (see Finding). Empty when all is well.
    // Call only after a successful Open().
    std::vector<Finding> CheckStructure() const;

    std::uint16_t MajorVersion() const;
    std::uint32_t SectorSize() const;

    struct State;

private:
    std::string ReadChecked(std::size_t index, std::uint64_t offset, void* buffer, std::size_t size) const;

    std::unique_ptr<State> state_;
};

}  // namespace cfb
