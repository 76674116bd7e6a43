#include "platform/compound_file/memory_io.h"

#include <cstring>
#include <limits>
#include <new>

namespace cfb {

Error MemorySink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (size == 0) return Error::None;
    if (offset > std::numeric_limits<std::size_t>::max() - size) return Error::MediumFull;
    const auto end = static_cast<std::size_t>(offset) + size;
    try {
        if (bytes_.size() < end) bytes_.resize(end);  // a gap fills with zeros
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
    std::memcpy(bytes_.data() + offset, data, size);
    return Error::None;
}

bool MemorySource::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(data, data_ + offset, size);
    return true;
}

}  // namespace cfb
