#include "platform/compound_file/layout.h"

#include "platform/compound_file/format.h"

namespace cfb {

namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

}  // namespace

std::uint64_t TableLayout::FileBytes() const { return (totalSectors + 1) * kSectorSize; }

TableLayout ComputeLayout(std::uint64_t dataSectors, std::uint64_t miniSectors, std::uint64_t entries) {
    TableLayout layout;
    layout.miniFatSectors = CeilDiv(miniSectors, kIdsPerSector);
    layout.directorySectors = CeilDiv(entries, kEntriesPerSector);
    std::uint64_t fixed = dataSectors + layout.miniFatSectors + layout.directorySectors;
    for (;;) {
        std::uint64_t total = fixed + layout.fatSectors + layout.difatSectors;
        std::uint64_t fat = CeilDiv(total, kIdsPerSector);
        std::uint64_t difat =
            fat > kHeaderDifatSlots ? CeilDiv(fat - kHeaderDifatSlots, kIdsPerDifatSector) : 0;
        if (fat == layout.fatSectors && difat == layout.difatSectors) break;
        layout.fatSectors = fat;
        layout.difatSectors = difat;
    }
    layout.totalSectors = fixed + layout.fatSectors + layout.difatSectors;
    return layout;
}

}  // namespace cfb
