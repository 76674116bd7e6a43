// Reader: the listing and the stream reads.

#include <algorithm>
#include <new>
#include <vector>

#include "platform/compound_file/format.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/reader.h"
#include "platform/compound_file/reader_state.h"

namespace cfb {

namespace {
const std::vector<Entry> kNoEntries;
}

const std::vector<Entry>& Reader::Entries() const { return state_ ? state_->entries : kNoEntries; }

long Reader::Find(const std::u16string& name) const {
    const std::vector<Entry>& entries = Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (CompareNames(entries[i].name, name) == 0) return static_cast<long>(i);
    }
    return -1;
}

std::uint16_t Reader::MajorVersion() const { return state_ ? state_->major : 0; }

std::uint32_t Reader::SectorSize() const { return state_ ? state_->sectorSize : 0; }

std::string Reader::Read(std::size_t index, std::uint64_t offset, void* buffer, std::size_t size) const {
    try {
        return ReadChecked(index, offset, buffer, size);
    } catch (const std::bad_alloc&) {
        return "out of memory";  // only a message could not be built
    }
}

std::string Reader::ReadChecked(std::size_t index, std::uint64_t offset, void* buffer, std::size_t size) const {
    if (!state_) return "no file is open";
    if (index >= state_->entries.size()) return "no element " + std::to_string(index);
    const Entry& entry = state_->entries[index];
    if (entry.type != EntryType::Stream) return "element " + std::to_string(index) + " is not a stream";
    if (offset > entry.size || size > entry.size - offset) return "read beyond the end of the stream";
    if (size == 0) return std::string();
    if (buffer == nullptr) return "no buffer to read into";
    return state_->ReadChain(state_->chains[index], state_->inMiniStream[index], offset,
                             static_cast<std::uint8_t*>(buffer), size);
}

std::string Reader::ReadAll(std::size_t index, const ChunkFunction& chunk, std::size_t chunkSize) const {
    try {
        if (!state_) return "no file is open";
        if (index >= state_->entries.size()) return "no element " + std::to_string(index);
        if (state_->entries[index].type != EntryType::Stream) {
            return "element " + std::to_string(index) + " is not a stream";
        }
        const std::uint64_t total = state_->entries[index].size;
        std::vector<std::uint8_t> buffer(
            static_cast<std::size_t>(std::min<std::uint64_t>(total, std::max<std::size_t>(chunkSize, 1))));
        for (std::uint64_t offset = 0; offset < total;) {
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), total - offset));
            std::string error = Read(index, offset, buffer.data(), piece);
            if (!error.empty()) return error;
            if (!chunk(buffer.data(), piece)) return std::string();
            offset += piece;
        }
    } catch (const std::bad_alloc&) {
        return "out of memory";  // short enough to need no allocation
    }
    return std::string();
}

}  // namespace cfb
