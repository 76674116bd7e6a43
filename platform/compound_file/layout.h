// How many table sectors a file needs, and so how large it becomes.
#pragma once

#include <cstdint>

namespace cfb {

struct TableLayout {
    std::uint64_t miniFatSectors = 0;
    std::uint64_t directorySectors = 0;
    std::uint64_t fatSectors = 0;
    std::uint64_t difatSectors = 0;
    std::uint64_t totalSectors = 0;  // data and tables, header not counted

    std::uint64_t FileBytes() const;
};

// `dataSectors`: sectors of streams and of the mini stream; `miniSectors`:
// 64-byte sectors in the mini stream; `entries`: directory entries, root
// included. The FAT must also cover its own sectors and the DIFAT's, so the
// two counts are raised together until they settle.
TableLayout ComputeLayout(std::uint64_t dataSectors, std::uint64_t miniSectors, std::uint64_t entries);

}  // namespace cfb
