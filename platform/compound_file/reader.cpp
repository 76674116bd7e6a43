// Reader::Open(): the header, the FAT and DIFAT, the mini stream and the
// directory, each checked before anything relies on it.

#include "platform/compound_file/reader.h"

#include <algorithm>
#include <new>

#include "platform/compound_file/format.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/reader_state.h"

namespace cfb {

using reading::Chain;
using reading::kUnknownLength;
using reading::RawEntry;
using reading::WalkChain;

namespace {

// "<what> cannot be read", with the system's reason when the source has one.
std::string Unreadable(const std::string& what, const ReadSource& source) {
    const std::string reason = source.FailureReason();
    return what + " cannot be read" + (reason.empty() ? "" : ": " + reason);
}

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
}

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

class Opener {
public:
    explicit Opener(Reader::State& s) : s_(s) {}

    std::string Run() {
        std::string error;
        if (!(error = ReadHeader()).empty()) return error;
        if (!(error = LoadFat()).empty()) return error;
        if (!(error = LoadDirectory()).empty()) return error;
        if (!(error = LoadMiniStream()).empty()) return error;
        return WalkTrees();
    }

private:
    std::string ReadHeader();
    std::string LoadFat();
    std::string LoadDirectory();
    std::string LoadMiniStream();
    std::string WalkTrees();
    std::string CheckEntry(std::uint32_t id);
    std::string CheckInFile(const Chain& chain, std::uint64_t size, const std::string& what);
    // Reads `count` consecutive sectors from `sector` as sector numbers.
    std::string ReadSectorIds(std::uint32_t sector, std::uint32_t count, std::vector<std::uint32_t>& ids) {
        return ReadSectorIds(sector, count, bytes_, ids);
    }
    std::string ReadSectorIds(std::uint32_t sector, std::uint32_t count, std::vector<std::uint8_t>& bytes,
                              std::vector<std::uint32_t>& ids);
    std::string ReadTable(const Chain& chain, std::uint64_t keep, std::vector<std::uint32_t>& table,
                          std::uint64_t& beyondInUse);

    Reader::State& s_;
    std::vector<std::uint8_t> bytes_;
};

// Tables are read in pieces of at most this many sectors.
constexpr std::uint32_t kSectorsPerRead = 256;

std::string Opener::ReadHeader() {
    const std::uint64_t size = s_.source->Size();
    if (size < kHeaderSize) {
        return "the file is too short for a compound file (" + std::to_string(size) + " bytes)";
    }
    if (!s_.source->ReadAt(0, s_.header, kHeaderSize)) return Unreadable("the header", *s_.source);
    const std::uint8_t* h = s_.header;
    if (!std::equal(std::begin(kSignature), std::end(kSignature), h + header::kSignature)) {
        return "not a compound file (wrong signature)";
    }
    if (GetU16(h + header::kByteOrder) != kByteOrderMark) return "the header's byte order mark is wrong";
    s_.major = GetU16(h + header::kMajorVersion);
    const std::uint16_t shift = GetU16(h + header::kSectorShift);
    if (s_.major != kMajorVersion3 && s_.major != kMajorVersion4) {
        return "unsupported major version " + std::to_string(s_.major);
    }
    if (shift != (s_.major == kMajorVersion3 ? 9 : 12)) {
        return "sector shift " + std::to_string(shift) + " does not match major version " +
               std::to_string(s_.major);
    }
    if (GetU16(h + header::kMiniSectorShift) != kMiniSectorShift) return "the mini sector shift is not 6";
    if (GetU32(h + header::kMiniStreamCutoff) != kMiniStreamCutoff) return "the mini stream cutoff is not 4096";
    for (std::size_t i = 0; i < 6; ++i) {
        if (h[header::kReserved + i] != 0) return "reserved header bytes are not zero";
    }
    if (s_.major == kMajorVersion3 && GetU32(h + header::kDirectorySectorCount) != 0) {
        return "the directory sector count must be 0 in version 3";
    }
    s_.sectorShift = shift;
    s_.sectorSize = 1u << shift;
    if (size < s_.sectorSize) return "the file is shorter than its header sector";
    // A last sector cut short is allowed: what is read from it must be there.
    s_.fileSectors = std::min<std::uint64_t>(CeilDiv(size, s_.sectorSize) - 1, kMaxRegularSector);
    return std::string();
}

std::string Opener::ReadSectorIds(std::uint32_t sector, std::uint32_t count, std::vector<std::uint8_t>& bytes,
                                  std::vector<std::uint32_t>& ids) {
    bytes.resize(std::size_t{count} << s_.sectorShift);
    if (!s_.source->ReadAt(s_.SectorOffset(sector), bytes.data(), bytes.size())) {
        return Unreadable("sector " + std::to_string(sector), *s_.source);
    }
    ids.resize(bytes.size() / 4);
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = GetU32(bytes.data() + 4 * i);
    return std::string();
}

std::string Opener::LoadFat() {
    const std::uint8_t* h = s_.header;
    const std::uint32_t fatCount = GetU32(h + header::kFatSectorCount);
    const std::uint32_t difatCount = GetU32(h + header::kDifatSectorCount);
    const std::uint32_t idsPerSector = s_.sectorSize / 4;
    if (fatCount == 0) return "the header declares no FAT sectors";
    if (fatCount > s_.fileSectors) {
        return "the header declares " + std::to_string(fatCount) + " FAT sectors but the file holds only " +
               std::to_string(s_.fileSectors) + " sectors";
    }
    const std::uint64_t difatNeeded =
        fatCount > kHeaderDifatSlots ? CeilDiv(fatCount - kHeaderDifatSlots, idsPerSector - 1) : 0;
    if (difatCount != difatNeeded) {
        return "the header declares " + std::to_string(difatCount) + " DIFAT sectors; " +
               std::to_string(fatCount) + " FAT sectors need " + std::to_string(difatNeeded);
    }
    // Only the sectors the FAT has entries for can belong to anything: a
    // sparse file of a terabyte with a small FAT costs what its FAT costs.
    const std::uint64_t covered = std::uint64_t{fatCount} * idsPerSector;
    const std::uint64_t described = std::min<std::uint64_t>(covered, s_.fileSectors);
    s_.sectorUse.assign(static_cast<std::size_t>(described), reading::kUnused);
    auto outside = [&](std::uint32_t sector) {
        return sector >= s_.fileSectors ? ", outside the file" : ", beyond the sectors the FAT describes";
    };

    // The FAT's own sectors: 109 in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    for (std::uint32_t i = 0; i < kHeaderDifatSlots && fatSectors.size() < fatCount; ++i) {
        fatSectors.push_back(GetU32(h + header::kDifat + 4 * i));
    }
    std::uint32_t difat = GetU32(h + header::kFirstDifatSector);
    std::vector<std::uint32_t> ids;
    for (std::uint64_t d = 0; d < difatNeeded; ++d) {
        if (difat >= described) {
            return "the DIFAT chain reaches sector number " + Hex(difat) + outside(difat);
        }
        if (s_.sectorUse[difat] != reading::kUnused) {
            return "DIFAT sector " + std::to_string(difat) + " is used twice (the chain loops)";
        }
        s_.sectorUse[difat] = reading::kUseDifat;
        std::string error = ReadSectorIds(difat, 1, ids);
        if (!error.empty()) return error;
        for (std::uint32_t i = 0; i + 1 < idsPerSector && fatSectors.size() < fatCount; ++i) {
            fatSectors.push_back(ids[i]);
        }
        difat = ids[idsPerSector - 1];
    }
    if (difatNeeded > 0 && difat != kEndOfChain && difat != kFreeSector) {
        return "the DIFAT chain does not end after its " + std::to_string(difatNeeded) + " sectors";
    }

    // The FAT itself, read in runs of consecutive sectors; entries for
    // sectors past the end of the file are only counted.
    s_.fat.reserve(static_cast<std::size_t>(described));
    for (std::uint32_t index = 0; index < fatCount;) {
        std::uint32_t count = 0;
        while (index + count < fatCount && count < kSectorsPerRead &&
               (count == 0 || fatSectors[index + count] == fatSectors[index] + count)) {
            const std::uint32_t sector = fatSectors[index + count];
            if (sector >= described) {
                return "FAT sector " + std::to_string(index + count) + " is at sector number " + Hex(sector) +
                       outside(sector);
            }
            if (s_.sectorUse[sector] != reading::kUnused) {
                return "sector " + std::to_string(sector) + " is listed twice as a FAT or DIFAT sector";
            }
            s_.sectorUse[sector] = reading::kUseFat;
            ++count;
        }
        std::string error = ReadSectorIds(fatSectors[index], count, ids);
        if (!error.empty()) return error;
        for (std::uint32_t id : ids) {
            if (s_.fat.size() < s_.fileSectors) {
                s_.fat.push_back(id);
            } else if (id != kFreeSector) {
                ++s_.fatEntriesBeyondFileInUse;
            }
        }
        index += count;
    }
    return std::string();
}

// Reads the table held in `chain` (a FAT-like array of sector numbers),
// keeping the first `keep` entries and counting later ones that are not free.
std::string Opener::ReadTable(const Chain& chain, std::uint64_t keep, std::vector<std::uint32_t>& table,
                              std::uint64_t& beyondInUse) {
    std::vector<std::uint32_t> ids;
    table.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(keep, chain.units * (s_.sectorSize / 4))));
    for (const Chain::Run& run : chain.runs) {
        for (std::uint32_t k = 0; k < run.count; k += kSectorsPerRead) {
            std::string error = ReadSectorIds(run.first + k, std::min(kSectorsPerRead, run.count - k), ids);
            if (!error.empty()) return error;
            for (std::uint32_t id : ids) {
                if (table.size() < keep) {
                    table.push_back(id);
                } else if (id != kFreeSector) {
                    ++beyondInUse;
                }
            }
        }
    }
    return std::string();
}

std::string Opener::LoadDirectory() {
    Chain chain;
    const std::uint32_t first = GetU32(s_.header + header::kFirstDirectorySector);
    if (first == kEndOfChain) return "the file has no directory";
    std::string error = WalkChain(s_.fat, s_.sectorUse, reading::kUseDirectory, first, kUnknownLength,
                                  "the directory", chain);
    if (!error.empty()) return error;
    s_.directory.resize(static_cast<std::size_t>(chain.units << s_.sectorShift));
    std::uint8_t* at = s_.directory.data();
    for (const Chain::Run& run : chain.runs) {
        const std::size_t bytes = std::size_t{run.count} << s_.sectorShift;
        if (!s_.source->ReadAt(s_.SectorOffset(run.first), at, bytes)) return Unreadable("the directory", *s_.source);
        at += bytes;
    }
    const std::size_t count = s_.directory.size() / kDirectoryEntrySize;
    s_.raw.resize(count);
    for (std::size_t id = 0; id < count; ++id) {
        const std::uint8_t* e = s_.directory.data() + id * kDirectoryEntrySize;
        RawEntry& r = s_.raw[id];
        r.type = e[entry::kType];
        r.color = e[entry::kColor];
        r.left = GetU32(e + entry::kLeft);
        r.right = GetU32(e + entry::kRight);
        r.child = GetU32(e + entry::kChild);
        r.start = GetU32(e + entry::kStartSector);
        r.size = s_.major == kMajorVersion3 ? GetU32(e + entry::kSize) : GetU64(e + entry::kSize);
    }
    if (s_.raw[0].type != kTypeRoot) return "the first directory entry is not the root storage";
    return CheckEntry(0);
}

std::string Opener::LoadMiniStream() {
    const RawEntry& root = s_.raw[0];
    s_.miniSectorCount = CeilDiv(root.size, kMiniSectorSize);
    if (root.size > 0) {
        std::string error = WalkChain(s_.fat, s_.sectorUse, reading::kUseMiniStream, root.start,
                                      CeilDiv(root.size, s_.sectorSize), "the mini stream", s_.miniStream);
        if (error.empty()) error = CheckInFile(s_.miniStream, root.size, "the mini stream");
        if (!error.empty()) return error;
    }
    const std::uint32_t first = GetU32(s_.header + header::kFirstMiniFatSector);
    const std::uint32_t count = GetU32(s_.header + header::kMiniFatSectorCount);
    if (count > 0) {
        Chain chain;
        std::string error =
            WalkChain(s_.fat, s_.sectorUse, reading::kUseMiniFat, first, count, "the mini FAT", chain);
        if (!error.empty()) return error;
        error = ReadTable(chain, s_.miniSectorCount, s_.miniFat, s_.miniFatEntriesBeyondInUse);
        if (!error.empty()) return error;
    }
    s_.miniUse.assign(s_.miniFat.size(), reading::kUnused);
    return std::string();
}

std::string Opener::CheckEntry(std::uint32_t id) {
    const std::uint8_t* e = s_.directory.data() + std::size_t{id} * kDirectoryEntrySize;
    const std::uint16_t length = GetU16(e + entry::kNameLength);
    const std::string where = "directory entry " + std::to_string(id);
    if (length < 4 || length > 64 || length % 2 != 0) {
        return where + " has an invalid name length (" + std::to_string(length) + " bytes)";
    }
    if (GetU16(e + entry::kName + length - 2) != 0) return where + " has a name that is not terminated";
    if (!IsValidName(s_.EntryName(id))) return where + " has an invalid name";
    return std::string();
}

// The bytes of the last sector of a chain holding `size` bytes must be in the
// file, which may end inside that sector.
std::string Opener::CheckInFile(const Chain& chain, std::uint64_t size, const std::string& what) {
    if (chain.runs.empty()) return std::string();
    const Chain::Run& last = chain.runs.back();
    const std::uint64_t end = s_.SectorOffset(std::uint64_t{last.first} + last.count - 1) + size -
                              ((chain.units - 1) << s_.sectorShift);
    if (end > s_.source->Size()) {
        return what + ": its last sector ends " + std::to_string(end - s_.source->Size()) +
               " bytes past the end of the file";
    }
    return std::string();
}

// Visits every storage's tree from the root, each entry at most once, and
// checks every stream's chain.
std::string Opener::WalkTrees() {
    const std::size_t count = s_.raw.size();
    s_.reachable.assign(count, false);
    s_.reachable[0] = true;
    s_.storages.push_back(0);
    std::vector<std::uint32_t> stack;
    for (std::size_t next = 0; next < s_.storages.size(); ++next) {
        const std::uint32_t storage = s_.storages[next];
        s_.children.emplace_back();
        std::uint32_t node = s_.raw[storage].child;
        while (node != kNoStream || !stack.empty()) {
            while (node != kNoStream) {
                if (node >= count) {
                    return "the directory links to entry " + std::to_string(node) + " beyond its " +
                           std::to_string(count) + " entries";
                }
                if (s_.reachable[node]) {
                    return "directory entry " + std::to_string(node) + " is reached twice (the tree loops)";
                }
                s_.reachable[node] = true;
                const RawEntry& r = s_.raw[node];
                if (r.type != kTypeStorage && r.type != kTypeStream) {
                    return "directory entry " + std::to_string(node) + " in the tree has type " +
                           std::to_string(r.type);
                }
                std::string error = CheckEntry(node);
                if (!error.empty()) return error;
                stack.push_back(node);
                node = r.left;
            }
            node = stack.back();
            stack.pop_back();
            s_.children.back().push_back(node);
            if (s_.raw[node].type == kTypeStorage) s_.storages.push_back(node);
            node = s_.raw[node].right;
        }
    }

    // Streams: each chain must match its size exactly.
    for (std::size_t index = 0; index < s_.storages.size(); ++index) {
        for (std::uint32_t id : s_.children[index]) {
            const RawEntry& r = s_.raw[id];
            const bool listed = index == 0;
            if (listed) {
                const auto type = r.type == kTypeStream ? EntryType::Stream : EntryType::Storage;
                s_.entries.push_back(Entry{s_.EntryName(id), type, type == EntryType::Stream ? r.size : 0, id});
                s_.chains.emplace_back();
                s_.inMiniStream.push_back(false);
            }
            if (r.type != kTypeStream || r.size == 0) continue;
            Chain local;
            Chain& chain = listed ? s_.chains.back() : local;
            const std::string what = "stream entry " + std::to_string(id);
            std::string error;
            if (r.size < kMiniStreamCutoff) {
                if (listed) s_.inMiniStream.back() = true;
                error = WalkChain(s_.miniFat, s_.miniUse, reading::kUseStream, r.start,
                                  CeilDiv(r.size, kMiniSectorSize), what + " (in the mini stream)", chain);
            } else {
                error = WalkChain(s_.fat, s_.sectorUse, reading::kUseStream, r.start, CeilDiv(r.size, s_.sectorSize),
                                  what, chain);
                if (error.empty()) error = CheckInFile(chain, r.size, what);
            }
            if (!error.empty()) return error;
        }
    }

    // Two elements of one name would be ambiguous.
    std::vector<const std::u16string*> names;
    for (const Entry& e : s_.entries) names.push_back(&e.name);
    std::sort(names.begin(), names.end(),
              [](const std::u16string* a, const std::u16string* b) { return CompareNames(*a, *b) < 0; });
    for (std::size_t i = 1; i < names.size(); ++i) {
        if (CompareNames(*names[i - 1], *names[i]) == 0) return "two elements of the root have the same name";
    }
    return std::string();
}

}  // namespace

std::u16string Reader::State::EntryName(std::uint32_t id) const {
    const std::uint8_t* e = directory.data() + std::size_t{id} * kDirectoryEntrySize;
    std::size_t units = GetU16(e + entry::kNameLength) / 2;
    units = units > 0 ? std::min<std::size_t>(units - 1, 32) : 0;
    std::u16string name(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) name[i] = GetU16(e + entry::kName + 2 * i);
    return name;
}

Reader::Reader() = default;
Reader::~Reader() = default;

std::string Reader::Open(ReadSource& source) {
    try {
        state_.reset();
        auto state = std::make_unique<State>();
        state->source = &source;
        std::string error = Opener(*state).Run();
        if (!error.empty()) return error;
        state_ = std::move(state);
        return std::string();
    } catch (const std::bad_alloc&) {
        return "out of memory";  // short enough to need no allocation
    }
}

}  // namespace cfb
