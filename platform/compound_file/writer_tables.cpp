// The end of writing an archive: the mini FAT, directory, FAT and DIFAT
// sectors, written in that order after the data, and then the header.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/compound_file/format.h"
#include "platform/compound_file/layout.h"
#include "platform/compound_file/red_black_tree.h"
#include "platform/compound_file/tables.h"
#include "platform/compound_file/writer.h"

namespace cfb {

namespace {

std::uint64_t SectorOffset(std::uint64_t sector) { return (sector + 1) * kSectorSize; }

// Gathers consecutive table sectors and writes them in large pieces.
class TableOutput {
public:
    TableOutput(WriteSink& sink, std::uint64_t offset) : sink_(sink), offset_(offset) {
        buffer_.resize(kBatchBytes);
    }

    Error PutId(std::uint32_t id) {
        if (used_ == buffer_.size()) {
            if (Error e = Flush(); e != Error::None) return e;
        }
        PutU32(buffer_.data() + used_, id);
        used_ += 4;
        return Error::None;
    }

    // Appends the next 128-byte directory entry.
    std::uint8_t* NextEntry(Error& error) {
        error = Error::None;
        if (used_ == buffer_.size()) {
            if ((error = Flush()) != Error::None) return nullptr;
        }
        std::uint8_t* entry = buffer_.data() + used_;
        std::memset(entry, 0, kDirectoryEntrySize);
        used_ += kDirectoryEntrySize;
        return entry;
    }

    Error Flush() {
        if (used_ == 0) return Error::None;
        Error e = sink_.WriteAt(offset_, buffer_.data(), used_);
        offset_ += used_;
        written_ += used_;
        used_ = 0;
        return e;
    }

    std::uint64_t Written() const { return written_ + used_; }

private:
    static constexpr std::size_t kBatchBytes = 128 * kSectorSize;
    WriteSink& sink_;
    std::uint64_t offset_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
};

Error PutChain(TableOutput& out, std::uint64_t first, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t next = i + 1 < count ? static_cast<std::uint32_t>(first + i + 1) : kEndOfChain;
        if (Error e = out.PutId(next); e != Error::None) return e;
    }
    return Error::None;
}

Error PutRepeated(TableOutput& out, std::uint32_t id, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        if (Error e = out.PutId(id); e != Error::None) return e;
    }
    return Error::None;
}

}  // namespace

void FillEntry(std::uint8_t* entry, const std::u16string& name, std::uint8_t type, bool red,
               std::uint32_t left, std::uint32_t right, std::uint32_t child, std::uint32_t start,
               std::uint64_t size) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        PutU16(entry + entry::kName + 2 * i, name[i]);
    }
    PutU16(entry + entry::kNameLength, static_cast<std::uint16_t>((name.size() + 1) * 2));
    entry[entry::kType] = type;
    entry[entry::kColor] = red ? kColorRed : kColorBlack;
    PutU32(entry + entry::kLeft, left);
    PutU32(entry + entry::kRight, right);
    PutU32(entry + entry::kChild, child);
    PutU32(entry + entry::kStartSector, start);
    PutU64(entry + entry::kSize, size);
}

void FillHeader(std::uint8_t* h, const HeaderFields& fields) {
    std::memset(h, 0, kHeaderSize);
    std::memcpy(h + header::kSignature, kSignature, sizeof kSignature);
    PutU16(h + header::kMinorVersion, kMinorVersion);
    PutU16(h + header::kMajorVersion, fields.majorVersion);
    PutU16(h + header::kByteOrder, kByteOrderMark);
    PutU16(h + header::kSectorShift, fields.sectorShift);
    PutU16(h + header::kMiniSectorShift, kMiniSectorShift);
    PutU32(h + header::kDirectorySectorCount, fields.directorySectors);
    PutU32(h + header::kFatSectorCount, fields.fatSectors);
    PutU32(h + header::kFirstDirectorySector, fields.firstDirectorySector);
    PutU32(h + header::kTransactionSignature, 0);
    PutU32(h + header::kMiniStreamCutoff, kMiniStreamCutoff);
    PutU32(h + header::kFirstMiniFatSector, fields.firstMiniFatSector);
    PutU32(h + header::kMiniFatSectorCount, fields.miniFatSectors);
    PutU32(h + header::kFirstDifatSector, fields.firstDifatSector);
    PutU32(h + header::kDifatSectorCount, fields.difatSectors);
    for (std::uint32_t i = 0; i < kHeaderDifatSlots; ++i) {
        PutU32(h + header::kDifat + 4 * i, i < fields.fatSectors ? fields.firstFatSector + i : kFreeSector);
    }
}

Error Writer::WriteTables() {
    if (Error e = FlushMiniSectors(true); e != Error::None) return e;

    const auto streamCount = static_cast<std::uint32_t>(records_.size());
    const TableLayout layout = ComputeLayout(nextSector_, miniSectors_, streamCount + 1u);
    if (layout.FileBytes() >= kMaxFileBytes) return Error::TooLarge;
    const std::uint32_t miniFatStart = nextSector_;
    const auto directoryStart = static_cast<std::uint32_t>(miniFatStart + layout.miniFatSectors);
    const auto fatStart = static_cast<std::uint32_t>(directoryStart + layout.directorySectors);
    const auto difatStart = static_cast<std::uint32_t>(fatStart + layout.fatSectors);

    TableOutput out(*sink_, SectorOffset(miniFatStart));

    // Mini FAT: each mini stream occupies consecutive mini sectors.
    std::size_t nextEnd = 0;
    for (std::uint32_t m = 0; m < miniSectors_; ++m) {
        bool last = nextEnd < miniChainEnds_.size() && miniChainEnds_[nextEnd] == m;
        if (last) ++nextEnd;
        if (Error e = out.PutId(last ? kEndOfChain : m + 1); e != Error::None) return e;
    }
    if (Error e = PutRepeated(out, kFreeSector, layout.miniFatSectors * kIdsPerSector - miniSectors_);
        e != Error::None) {
        return e;
    }

    // Directory: the root, then the streams in the order they were created,
    // linked into a red-black tree over their name order.
    std::vector<std::uint32_t> sortedRecord;
    std::vector<const std::u16string*> nameOf(streamCount);
    sortedRecord.reserve(streamCount);
    for (const auto& named : names_) {
        sortedRecord.push_back(named.second);
        nameOf[named.second] = &named.first;
    }
    const BalancedTree tree = BuildBalancedTree(streamCount);
    std::vector<std::uint32_t> positionOf(streamCount);
    for (std::uint32_t p = 0; p < streamCount; ++p) positionOf[sortedRecord[p]] = p;
    auto idAt = [&](std::uint32_t position) {
        return position == BalancedTree::kNone ? kNoStream : sortedRecord[position] + 1;
    };

    Error e;
    std::uint8_t* entry = out.NextEntry(e);
    if (!entry) return e;
    FillEntry(entry, u"Root Entry", kTypeRoot, false, kNoStream, kNoStream, idAt(tree.root),
              miniSectors_ ? miniStart_ : kEndOfChain, std::uint64_t{miniSectors_} * kMiniSectorSize);
    for (std::uint32_t r = 0; r < streamCount; ++r) {
        const std::uint32_t p = positionOf[r];
        if (!(entry = out.NextEntry(e))) return e;
        FillEntry(entry, *nameOf[r], kTypeStream, tree.red[p], idAt(tree.left[p]), idAt(tree.right[p]),
                  kNoStream, records_[r].start, records_[r].size);
    }
    for (std::uint64_t unused = streamCount + 1u; unused < layout.directorySectors * kEntriesPerSector;
         ++unused) {
        if (!(entry = out.NextEntry(e))) return e;
        PutU32(entry + entry::kLeft, kNoStream);
        PutU32(entry + entry::kRight, kNoStream);
        PutU32(entry + entry::kChild, kNoStream);
    }

    // FAT: the data extents, the mini FAT and directory chains, the FAT and
    // DIFAT sectors themselves, then free entries to the end of the last FAT sector.
    for (const Extent& extent : extents_) {
        for (std::uint32_t i = 0; i + 1 < extent.count; ++i) {
            if ((e = out.PutId(extent.first + i + 1)) != Error::None) return e;
        }
        if ((e = out.PutId(extent.next)) != Error::None) return e;
    }
    if ((e = PutChain(out, miniFatStart, layout.miniFatSectors)) != Error::None) return e;
    if ((e = PutChain(out, directoryStart, layout.directorySectors)) != Error::None) return e;
    if ((e = PutRepeated(out, kFatSector, layout.fatSectors)) != Error::None) return e;
    if ((e = PutRepeated(out, kDifatSector, layout.difatSectors)) != Error::None) return e;
    if ((e = PutRepeated(out, kFreeSector, layout.fatSectors * kIdsPerSector - layout.totalSectors)) !=
        Error::None) {
        return e;
    }

    // DIFAT: the FAT sectors beyond the header's 109, 127 to a sector, each
    // sector ending with the number of the next.
    for (std::uint64_t d = 0; d < layout.difatSectors; ++d) {
        for (std::uint32_t i = 0; i < kIdsPerDifatSector; ++i) {
            std::uint64_t index = kHeaderDifatSlots + d * kIdsPerDifatSector + i;
            std::uint32_t id = index < layout.fatSectors ? static_cast<std::uint32_t>(fatStart + index)
                                                          : kFreeSector;
            if ((e = out.PutId(id)) != Error::None) return e;
        }
        std::uint32_t next =
            d + 1 < layout.difatSectors ? static_cast<std::uint32_t>(difatStart + d + 1) : kEndOfChain;
        if ((e = out.PutId(next)) != Error::None) return e;
    }
    if ((e = out.Flush()) != Error::None) return e;
    if (out.Written() != (layout.totalSectors - miniFatStart) * kSectorSize) return Error::WriteFault;

    std::uint8_t headerBytes[kHeaderSize];
    HeaderFields fields;
    fields.firstDirectorySector = directoryStart;
    fields.fatSectors = static_cast<std::uint32_t>(layout.fatSectors);
    fields.firstFatSector = fatStart;
    fields.miniFatSectors = static_cast<std::uint32_t>(layout.miniFatSectors);
    fields.firstMiniFatSector = layout.miniFatSectors ? miniFatStart : kEndOfChain;
    fields.difatSectors = static_cast<std::uint32_t>(layout.difatSectors);
    fields.firstDifatSector = layout.difatSectors ? difatStart : kEndOfChain;
    FillHeader(headerBytes, fields);
    if ((e = sink_->WriteAt(0, headerBytes, sizeof headerBytes)) != Error::None) {
        // A partly written header must not survive: put the zeros back if we can.
        const std::uint8_t zeros[kHeaderSize] = {};
        sink_->WriteAt(0, zeros, sizeof zeros);
        return e;
    }
    return Error::None;
}

}  // namespace cfb
