// RawView and the whole-file accounting built on it.
#include <exception>
#include <stdexcept>

#include "tests/compound_file/test_archives.h"

namespace cfb_test {

std::uint16_t RawView::U16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes_.at(offset) | (bytes_.at(offset + 1) << 8));
}

std::uint32_t RawView::U32(std::size_t offset) const {
    return static_cast<std::uint32_t>(U16(offset)) | (static_cast<std::uint32_t>(U16(offset + 2)) << 16);
}

std::vector<std::uint32_t> RawView::DifatSectors() const {
    std::vector<std::uint32_t> sectors;
    std::uint32_t next = U32(0x44);
    for (std::uint32_t i = 0; i < U32(0x48); ++i) {
        sectors.push_back(next);
        next = U32((next + 1) * 512 + 127 * 4);
    }
    if (!sectors.empty() && next != kEnd) throw std::runtime_error("DIFAT chain does not end in ENDOFCHAIN");
    return sectors;
}

std::vector<std::uint32_t> RawView::FatSectors() const {
    const std::uint32_t count = U32(0x2C);
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t i = 0; i < 109 && sectors.size() < count; ++i) sectors.push_back(U32(0x4C + 4 * i));
    for (std::uint32_t difat : DifatSectors()) {
        for (std::uint32_t i = 0; i < 127 && sectors.size() < count; ++i) {
            sectors.push_back(U32((difat + 1) * 512 + 4 * i));
        }
    }
    return sectors;
}

std::vector<std::uint32_t> RawView::Fat() const {
    std::vector<std::uint32_t> fat;
    for (std::uint32_t sector : FatSectors()) {
        for (std::uint32_t i = 0; i < 128; ++i) fat.push_back(U32((sector + 1) * 512 + 4 * i));
    }
    return fat;
}

std::vector<std::uint32_t> RawView::Chain(const std::vector<std::uint32_t>& table, std::uint32_t start) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t s = start; s != kEnd; s = table.at(s)) {
        if (chain.size() > table.size()) throw std::runtime_error("chain loops");
        chain.push_back(s);
    }
    return chain;
}

std::vector<std::uint8_t> RawView::Sectors(const std::vector<std::uint32_t>& chain) const {
    std::vector<std::uint8_t> out;
    for (std::uint32_t s : chain) {
        const std::size_t at = (std::size_t{s} + 1) * 512;
        if (at + 512 > bytes_.size()) throw std::out_of_range("sector beyond the file");
        out.insert(out.end(), bytes_.begin() + static_cast<long>(at), bytes_.begin() + static_cast<long>(at + 512));
    }
    return out;
}

std::vector<std::uint32_t> RawView::MiniFat() const {
    if (U32(0x40) == 0) return {};
    const std::vector<std::uint8_t> bytes = Sectors(Chain(Fat(), U32(0x3C)));
    const RawView sectors(bytes);
    std::vector<std::uint32_t> table;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) table.push_back(sectors.U32(i));
    return table;
}

std::vector<RawEntry> RawView::Directory() const {
    const std::vector<std::uint8_t> bytes = Sectors(Chain(Fat(), U32(0x30)));
    const RawView d(bytes);
    std::vector<RawEntry> entries;
    for (std::size_t at = 0; at + 128 <= bytes.size(); at += 128) {
        RawEntry e{std::u16string(), d.U16(at + 0x40), bytes[at + 0x42], bytes[at + 0x43], d.U32(at + 0x44),
                   d.U32(at + 0x48), d.U32(at + 0x4C), d.U32(at + 0x74), d.U32(at + 0x78), d.U32(at + 0x7C), true};
        for (std::size_t i = 0; i + 2 < e.nameBytes && i < 62; i += 2) e.name += static_cast<char16_t>(d.U16(at + i));
        for (std::size_t i = 0x50; i < 0x74; ++i) e.zeroClsidStateTimes = e.zeroClsidStateTimes && bytes[at + i] == 0;
        entries.push_back(e);
    }
    return entries;
}

namespace {

std::string Claim(std::vector<int>& owner, const std::vector<std::uint32_t>& units, int who, const char* what) {
    for (std::uint32_t unit : units) {
        if (unit >= owner.size()) return std::string(what) + ": unit " + std::to_string(unit) + " out of range";
        if (owner[unit] != 0) {
            return std::string(what) + ": unit " + std::to_string(unit) + " already owned by " +
                   std::to_string(owner[unit]);
        }
        owner[unit] = who;
    }
    return std::string();
}

std::string Check(const std::vector<std::uint8_t>& file) {
    if (file.size() % 512 != 0) return "the file is not a whole number of sectors";
    RawView view(file);
    const std::size_t sectors = file.size() / 512 - 1;
    const std::vector<std::uint32_t> fat = view.Fat();
    if (fat.size() < sectors) return "the FAT does not cover the file";
    if (fat.size() >= sectors + 128) return "the FAT has a whole sector more than the file needs";
    for (std::size_t s = sectors; s < fat.size(); ++s) {
        if (fat[s] != kFree) return "FAT entry " + std::to_string(s) + " past the end is not FREESECT";
    }

    // Owners: 1 FAT, 2 DIFAT, 3 directory, 4 mini FAT, 5 mini stream, 10+ streams.
    std::vector<int> owner(sectors, 0);
    std::string error;
    const std::vector<std::uint32_t> fatSectors = view.FatSectors();
    if (!(error = Claim(owner, fatSectors, 1, "FAT")).empty()) return error;
    for (std::uint32_t s : fatSectors) {
        if (fat[s] != 0xFFFFFFFDu) return "FAT sector " + std::to_string(s) + " is not marked FATSECT";
    }
    const std::vector<std::uint32_t> difat = view.DifatSectors();
    if (!(error = Claim(owner, difat, 2, "DIFAT")).empty()) return error;
    for (std::uint32_t s : difat) {
        if (fat[s] != 0xFFFFFFFCu) return "DIFAT sector " + std::to_string(s) + " is not marked DIFSECT";
    }
    const std::size_t fatCount = fatSectors.size();
    const std::size_t difatNeeded = fatCount > 109 ? (fatCount - 109 + 126) / 127 : 0;
    if (difat.size() != difatNeeded) return "wrong number of DIFAT sectors";
    if (!(error = Claim(owner, view.Chain(fat, view.U32(0x30)), 3, "directory")).empty()) return error;
    if (view.U32(0x40) != 0) {
        const std::vector<std::uint32_t> miniFatChain = view.Chain(fat, view.U32(0x3C));
        if (miniFatChain.size() != view.U32(0x40)) return "the mini FAT chain length differs from its count";
        if (!(error = Claim(owner, miniFatChain, 4, "mini FAT")).empty()) return error;
    } else if (view.U32(0x3C) != kEnd) {
        return "no mini FAT but its first sector is not ENDOFCHAIN";
    }

    const std::vector<RawEntry> entries = view.Directory();
    const RawEntry& root = entries.at(0);
    if (root.sizeLow % 64 != 0) return "the mini stream is not a whole number of mini sectors";
    const std::size_t miniSectors = root.sizeLow / 64;
    if (miniSectors == 0 && root.start != kEnd) return "no mini stream but the root's start is not ENDOFCHAIN";
    if (miniSectors > 0) {
        const std::vector<std::uint32_t> chain = view.Chain(fat, root.start);
        if (chain.size() != (root.sizeLow + 511) / 512) return "the mini stream chain has the wrong length";
        if (!(error = Claim(owner, chain, 5, "mini stream")).empty()) return error;
    }
    const std::vector<std::uint32_t> miniFat = view.MiniFat();
    if (miniFat.size() < miniSectors || miniFat.size() >= miniSectors + 128) return "the mini FAT has the wrong size";
    for (std::size_t m = miniSectors; m < miniFat.size(); ++m) {
        if (miniFat[m] != kFree) return "mini FAT entry " + std::to_string(m) + " past the mini stream is not free";
    }
    std::vector<int> miniOwner(miniSectors, 0);

    for (std::size_t id = 1; id < entries.size(); ++id) {
        const RawEntry& e = entries[id];
        if (e.type == 0) continue;
        if (e.type != 2) return "entry " + std::to_string(id) + " is not a stream";
        const std::string what = "stream " + std::to_string(id);
        if (e.sizeHigh != 0) return what + " has a non-zero high size word";
        if (e.sizeLow == 0) {
            if (e.start != kEnd) return what + " is empty but does not start with ENDOFCHAIN";
            continue;
        }
        const bool mini = e.sizeLow < 4096;
        const std::vector<std::uint32_t> chain = view.Chain(mini ? miniFat : fat, e.start);
        const std::size_t unit = mini ? 64 : 512;
        if (chain.size() != (e.sizeLow + unit - 1) / unit) return what + " has a chain of the wrong length";
        error = Claim(mini ? miniOwner : owner, chain, 10 + static_cast<int>(id), what.c_str());
        if (!error.empty()) return error;
    }
    for (std::size_t s = 0; s < sectors; ++s) {
        if (owner[s] == 0) return "sector " + std::to_string(s) + " is owned by nothing (leaked)";
    }
    for (std::size_t m = 0; m < miniSectors; ++m) {
        if (miniOwner[m] == 0) return "mini sector " + std::to_string(m) + " is owned by nothing (leaked)";
    }
    return std::string();
}

}  // namespace

std::string CheckLayout(const std::vector<std::uint8_t>& file) {
    try {
        return Check(file);
    } catch (const std::exception& e) {
        return std::string("malformed: ") + e.what();
    }
}

}  // namespace cfb_test
