// A version 4 compound file, the same archive our writer makes in version 3
// but with 4096-byte sectors: the header sector, one FAT sector, the
// directory, the mini FAT, the mini stream, then each large stream in
// consecutive sectors. One FAT sector describes 4 MiB, plenty for tests.
#include <algorithm>
#include <fstream>
#include <numeric>

#include "platform/compound_file/format.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/red_black_tree.h"
#include "platform/compound_file/tables.h"
#include "tests/tools/craft_archive.h"

namespace {

constexpr std::uint32_t kShift = 12;
constexpr std::uint32_t kSize = 1u << kShift;
constexpr std::uint32_t kIds = kSize / 4;

std::uint32_t Sectors(std::uint64_t bytes, std::uint32_t unit) { return static_cast<std::uint32_t>((bytes + unit - 1) / unit); }

}  // namespace

std::string WriteVersion4(const std::string& path, const std::vector<CraftStream>& streams) {
    using namespace cfb;
    const auto count = static_cast<std::uint32_t>(streams.size());
    const std::uint32_t directorySectors = Sectors((count + 1) * std::uint64_t{kDirectoryEntrySize}, kSize);
    std::vector<std::uint32_t> start(count, kEndOfChain);
    std::uint32_t miniSectors = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t size = streams[i].content.size();
        if (size > 0 && size < kMiniStreamCutoff) start[i] = miniSectors, miniSectors += Sectors(size, kMiniSectorSize);
    }
    const std::uint32_t miniFatSectors = Sectors(miniSectors, kIds);
    const std::uint32_t miniStreamSectors = Sectors(miniSectors * std::uint64_t{kMiniSectorSize}, kSize);
    std::uint32_t next = 1 + directorySectors + miniFatSectors + miniStreamSectors;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (streams[i].content.size() >= kMiniStreamCutoff) {
            start[i] = next;
            next += Sectors(streams[i].content.size(), kSize);
        }
    }
    if (next > kIds) return "too large for one FAT sector";

    std::vector<std::uint8_t> file((next + 1) * std::size_t{kSize}, 0);
    auto sector = [&](std::uint32_t n) { return &file[(n + 1) * std::size_t{kSize}]; };
    std::uint8_t* fat = sector(0);
    for (std::uint32_t n = 0; n < kIds; ++n) PutU32(fat + 4 * n, kFreeSector);
    auto chain = [&](std::uint32_t first, std::uint32_t length) {
        for (std::uint32_t n = first; n < first + length; ++n) PutU32(fat + 4 * n, n + 1 < first + length ? n + 1 : kEndOfChain);
    };
    PutU32(fat, kFatSector);
    chain(1, directorySectors);
    chain(1 + directorySectors, miniFatSectors);
    const std::uint32_t miniStreamStart = 1 + directorySectors + miniFatSectors;
    chain(miniStreamStart, miniStreamSectors);

    HeaderFields fields;
    fields.majorVersion = kMajorVersion4;
    fields.sectorShift = kShift;
    fields.directorySectors = directorySectors;
    fields.firstDirectorySector = 1;
    fields.fatSectors = 1;
    fields.miniFatSectors = miniFatSectors;
    fields.firstMiniFatSector = miniFatSectors > 0 ? 1 + directorySectors : kEndOfChain;
    FillHeader(file.data(), fields);

    std::uint8_t* miniFat = miniFatSectors > 0 ? sector(1 + directorySectors) : nullptr;
    for (std::uint32_t n = 0; n < miniFatSectors * kIds; ++n) PutU32(miniFat + 4 * n, kFreeSector);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::vector<std::uint8_t>& content = streams[i].content;
        if (content.empty()) continue;
        if (content.size() >= kMiniStreamCutoff) {
            chain(start[i], Sectors(content.size(), kSize));
            std::copy(content.begin(), content.end(), sector(start[i]));
            continue;
        }
        const std::uint32_t length = Sectors(content.size(), kMiniSectorSize);
        for (std::uint32_t n = start[i]; n < start[i] + length; ++n) {
            PutU32(miniFat + 4 * n, n + 1 < start[i] + length ? n + 1 : kEndOfChain);
        }
        std::copy(content.begin(), content.end(), sector(miniStreamStart) + start[i] * std::size_t{kMiniSectorSize});
    }

    // The root's children as a red-black tree in name order; entry i + 1 is stream i.
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return CompareNames(streams[a].name, streams[b].name) < 0; });
    const BalancedTree tree = BuildBalancedTree(count);
    auto id = [&](std::uint32_t position) { return position == BalancedTree::kNone ? kNoStream : order[position] + 1; };
    std::uint8_t* directory = sector(1);
    for (std::uint32_t e = 0; e < directorySectors * (kSize / kDirectoryEntrySize); ++e) {
        std::uint8_t* d = directory + e * std::size_t{kDirectoryEntrySize};
        PutU32(d + entry::kLeft, kNoStream), PutU32(d + entry::kRight, kNoStream), PutU32(d + entry::kChild, kNoStream);
    }
    FillEntry(directory, u"Root Entry", kTypeRoot, false, kNoStream, kNoStream, id(tree.root),
              miniSectors > 0 ? miniStreamStart : kEndOfChain, miniSectors * std::uint64_t{kMiniSectorSize});
    for (std::uint32_t position = 0; position < count; ++position) {
        const std::uint32_t i = order[position];
        FillEntry(directory + (i + 1) * std::size_t{kDirectoryEntrySize}, streams[i].name, kTypeStream,
                  tree.red[position], id(tree.left[position]), id(tree.right[position]), kNoStream, start[i],
                  streams[i].content.size());
    }

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? std::string() : "cannot write " + path;
}
