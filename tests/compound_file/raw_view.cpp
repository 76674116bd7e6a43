#include "tests/compound_file/raw_view.h"

#include <stdexcept>

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
    std::vector<std::uint32_t> table;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        table.push_back(static_cast<std::uint32_t>(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16)) |
                        (static_cast<std::uint32_t>(bytes[i + 3]) << 24));
    }
    return table;
}

std::vector<RawEntry> RawView::Directory() const {
    const std::vector<std::uint8_t> bytes = Sectors(Chain(Fat(), U32(0x30)));
    std::vector<RawEntry> entries;
    for (std::size_t at = 0; at + 128 <= bytes.size(); at += 128) {
        const std::uint8_t* e = bytes.data() + at;
        auto u16 = [e](std::size_t o) { return static_cast<std::uint16_t>(e[o] | (e[o + 1] << 8)); };
        auto u32 = [&](std::size_t o) {
            return static_cast<std::uint32_t>(u16(o)) | (static_cast<std::uint32_t>(u16(o + 2)) << 16);
        };
        RawEntry entry;
        entry.nameBytes = u16(0x40);
        for (std::size_t i = 0; i + 2 < entry.nameBytes && i < 62; i += 2) entry.name += static_cast<char16_t>(u16(i));
        entry.type = e[0x42];
        entry.color = e[0x43];
        entry.left = u32(0x44);
        entry.right = u32(0x48);
        entry.child = u32(0x4C);
        entry.start = u32(0x74);
        entry.sizeLow = u32(0x78);
        entry.sizeHigh = u32(0x7C);
        entry.zeroClsidStateTimes = true;
        for (std::size_t i = 0x50; i < 0x74; ++i) {
            if (e[i] != 0) entry.zeroClsidStateTimes = false;
        }
        entries.push_back(entry);
    }
    return entries;
}

std::vector<std::uint8_t> RawView::StreamBytes(const RawEntry& entry) const {
    std::vector<std::uint8_t> out;
    if (entry.sizeLow == 0) return out;
    if (entry.sizeLow >= 4096) {
        out = Sectors(Chain(Fat(), entry.start));
    } else {
        const RawEntry root = Directory().at(0);
        const std::vector<std::uint8_t> mini = Sectors(Chain(Fat(), root.start));
        for (std::uint32_t m : Chain(MiniFat(), entry.start)) {
            const std::size_t at = std::size_t{m} * 64;
            if (at + 64 > mini.size()) throw std::out_of_range("mini sector beyond the mini stream");
            out.insert(out.end(), mini.begin() + static_cast<long>(at), mini.begin() + static_cast<long>(at + 64));
        }
    }
    if (out.size() < entry.sizeLow) throw std::runtime_error("chain shorter than the size");
    out.resize(entry.sizeLow);
    return out;
}

}  // namespace cfb_test
