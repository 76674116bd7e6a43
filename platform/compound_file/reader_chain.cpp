// Walking and reading sector chains.

#include <algorithm>

#include "platform/compound_file/format.h"
#include "platform/compound_file/reader_state.h"

namespace cfb {
namespace reading {

void Chain::Append(std::uint32_t unit) {
    if (!runs.empty() && runs.back().first + runs.back().count == unit) {
        ++runs.back().count;
    } else {
        runs.push_back(Run{unit, 1});
        runStart.push_back(units);
    }
    ++units;
}

std::string WalkChain(const std::vector<std::uint32_t>& table, std::vector<std::uint8_t>& use,
                      std::uint8_t useKind, std::uint32_t start, std::uint64_t expected,
                      const std::string& what, Chain& chain) {
    const bool known = expected != kUnknownLength;
    if (known && expected > table.size()) {
        return what + ": its size needs " + std::to_string(expected) + " sectors, more than the file has";
    }
    std::uint32_t unit = start;
    std::uint64_t count = 0;
    for (;;) {
        if (unit == kEndOfChain) {
            if (known && count < expected) {
                return what + ": its chain ends after " + std::to_string(count) + " sectors but its size needs " +
                       std::to_string(expected);
            }
            return std::string();
        }
        if (known && count == expected) {
            return what + ": its chain is longer than its size needs (" + std::to_string(expected) +
                   " sectors)";
        }
        if (unit >= table.size()) {
            return what + ": its chain reaches sector number " + std::to_string(unit) +
                   (unit >= kMaxRegularSector ? " (a special value)" : ", which is out of range");
        }
        if (use[unit] != kUnused) {
            return what + ": sector " + std::to_string(unit) +
                   " is already in use (the chain loops or crosses another)";
        }
        use[unit] = useKind;
        chain.Append(unit);
        ++count;
        unit = table[unit];
    }
}

}  // namespace reading

std::string Reader::State::ReadChain(const reading::Chain& chain, bool mini, std::uint64_t offset,
                                     std::uint8_t* buffer, std::size_t size) const {
    const std::uint32_t shift = mini ? kMiniSectorShift : sectorShift;
    const std::uint64_t unitSize = std::uint64_t{1} << shift;
    while (size > 0) {
        const std::uint64_t unit = offset >> shift;
        const std::uint64_t within = offset & (unitSize - 1);
        if (unit >= chain.units) return "read beyond the end of a sector chain";
        const auto after = std::upper_bound(chain.runStart.begin(), chain.runStart.end(), unit);
        const auto r = static_cast<std::size_t>(after - chain.runStart.begin()) - 1;
        const reading::Chain::Run& run = chain.runs[r];
        const std::uint64_t k = unit - chain.runStart[r];
        const std::uint64_t available = (run.count - k) * unitSize - within;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size, available));
        const std::uint64_t position = ((run.first + k) << shift) + within;
        if (mini) {
            std::string error = ReadChain(miniStream, false, position, buffer, take);
            if (!error.empty()) return error;
        } else if (!source->ReadAt(position + sectorSize, buffer, take)) {
            std::string reason = source->FailureReason();
            return "read failure at byte " + std::to_string(position + sectorSize) + " of the file" +
                   (reason.empty() ? "" : ": " + reason);
        }
        buffer += take;
        size -= take;
        offset += take;
    }
    return std::string();
}

}  // namespace cfb
