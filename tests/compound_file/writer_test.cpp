// Our writer: random sets of streams read back exactly by our reader and by
// independent ones, in the same bytes however the writes are split; the
// format's boundaries; failures that leave nothing a reader would take.
#include <cstring>

#include "tests/compound_file/archives.h"

namespace {

using namespace cfb_test;

// What no reader of ours compares with a constant of the code: the fixed
// header fields, as few FAT sectors as the file needs and DIFAT sectors only
// past the header's 109, the FAT marking its own sectors (FATSECT), and a
// mini stream that holds exactly the streams below 4096 bytes.
std::string FixedFields(const Bytes& file, const Streams& streams) {
    const Bytes fixed = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0,    0,    0x3E, 0,    3,    0,    0xFE, 0xFF, 9, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!std::equal(fixed.begin(), fixed.end(), file.begin()) || U32(file, 0x38) != 4096) return "header";
    const auto difat = [](std::uint64_t fat) { return fat > 109 ? (fat - 109 + 126) / 127 : 0; };
    const std::uint64_t fat = U32(file, 0x2C), others = file.size() / 512 - 1 - fat - difat(fat);
    if (U32(file, 0x48) != difat(fat) || fat * 128 < others + fat + difat(fat) || (fat - 1) * 128 >= others + fat - 1 + difat(fat - 1))
        return std::to_string(fat) + " FAT sectors for " + std::to_string(others) + " others";
    for (std::uint32_t i = 0; i < U32(file, 0x2C) && i < 109; ++i) {
        const std::uint32_t sector = U32(file, 0x4C + 4 * i);
        if (sector / 128 < 109 && U32(file, (U32(file, 0x4C + sector / 128 * 4) + 1) * 512 + sector % 128 * 4) != 0xFFFFFFFD)
            return "FAT sector " + std::to_string(sector) + " is not marked FATSECT";
    }
    std::uint32_t mini = 0;
    for (const Stream& s : streams) mini += s.bytes.size() < 4096 ? (s.bytes.size() + 63) / 64 * 64 : 0;
    return U32(file, (U32(file, 0x30) + 1) * 512 + 0x78) == mini ? "" : "the mini stream's size";
}

TEST(Writer, RandomArchivesReadBackEverywhere) {
    std::vector<Archive> cases = {{"empty", {}, {}}, {"cut-off", {}, {}}};
    for (std::size_t size : {4095, 4096, 0, 63, 64, 65, 511, 512, 513, 4097, 100000})
        cases[1].streams.push_back({u"1" + std::u16string(cases[1].streams.size(), u'0'), Pattern(size, 9)});
    for (std::uint32_t seed = 1; seed <= 12; ++seed) cases.push_back({"random" + std::to_string(seed), RandomStreams(seed), {}});
    // The most a file can hold with the header's 109 FAT sectors, and one sector more.
    for (std::uint32_t more : {0u, 1u}) cases.push_back({"difat" + std::to_string(more), {{u"1", Pattern((13842 + more) * 512, 1)}}, {}});
    for (Archive& a : cases) {
        a.file = Build(a.streams);
        EXPECT_EQ(ReadBack(a.file, a.streams), "") << a.name;
        EXPECT_EQ(FixedFields(a.file, a.streams), "") << a.name;
        EXPECT_TRUE(Build(a.streams, static_cast<std::uint32_t>(a.file.size())) == a.file) << a.name << ": split writes differ";
    }
    EXPECT_EQ(OracleProblems(cases), "");
}

// A disk of `capacity` bytes; with `reserves` it refuses reservations beyond
// that as a preallocating file does. Without a capacity it keeps no bytes.
struct Disk {
    std::uint64_t capacity = ~std::uint64_t{0}, end = 0;
    bool reserves = false, headerSet = false;
    Bytes bytes;
};
struct Sink final : cfb::WriteSink {
    explicit Sink(Disk& disk) : d(disk) {}
    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        if (offset + size > d.capacity) return cfb::Error::MediumFull;
        d.end = std::max(d.end, offset + size);
        d.headerSet = d.headerSet || (offset == 0 && size > 0 && *static_cast<const std::uint8_t*>(data) != 0);
        if (d.capacity == ~std::uint64_t{0}) return cfb::Error::None;
        d.bytes.resize(std::max<std::size_t>(d.bytes.size(), offset + size));
        return std::memcpy(d.bytes.data() + offset, data, size), cfb::Error::None;
    }
    cfb::Error Reserve(std::uint64_t size) override {
        return d.reserves && size > d.capacity ? cfb::Error::MediumFull : cfb::Error::None;
    }
    cfb::Error Close() override { return cfb::Error::None; }
    Disk& d;
};

// The disk fills up anywhere, also while the tables and the header are
// written: the archive is then no archive. On a disk that reserves, the
// failure always comes before Finish(), which a packer might not check.
TEST(Writer, AFullDiskLeavesNoArchive) {
    const Streams streams = RandomStreams(3);
    const std::uint64_t total = Build(streams).size();
    std::vector<std::uint64_t> capacities = {0, 511, 512, 513, total};
    for (std::uint64_t k = 1; k < 40; ++k) capacities.push_back(total * k / 40);
    for (std::uint64_t k = 1; k < 8; ++k) capacities.push_back(total - 256 * k);
    for (const bool reserves : {false, true}) {
        for (const std::uint64_t capacity : capacities) {
            Disk disk;
            disk.capacity = capacity, disk.reserves = reserves;
            cfb::Error error, finished = cfb::Error::None;
            {
                cfb::Writer writer(std::make_unique<Sink>(disk));
                if ((error = WriteAll(writer, streams, 0, false)) == cfb::Error::None) finished = writer.Finish();
            }
            const bool complete = error == cfb::Error::None && finished == cfb::Error::None;
            const std::string read = ReadBack(disk.bytes, streams);
            EXPECT_TRUE(complete ? read.empty() : read.rfind("open: ", 0) == 0) << capacity << " " << read;
            EXPECT_EQ(complete, capacity >= total) << capacity;
            EXPECT_TRUE(!reserves || finished == cfb::Error::None) << capacity << ": only Finish() failed";
        }
    }
}

// The file stays below 2 GiB: a write that would cross that fails with
// TooLarge before anything is written, and not much earlier.
TEST(Writer, TwoGigabytesAreTooLarge) {
    const Bytes chunk(64u << 20, 0x5A);
    Disk disk, below;
    cfb::Writer writer(std::make_unique<Sink>(disk));
    ASSERT_TRUE(writer.Start() == cfb::Error::None && writer.CreateStream(u"1") == cfb::Error::None);
    cfb::Error error = cfb::Error::None;
    while (disk.end < (3ull << 30) && (error = writer.Write(chunk.data(), 64u << 20)) == cfb::Error::None) {}
    EXPECT_EQ(error, cfb::Error::TooLarge);
    EXPECT_LT(disk.end, cfb::kMaxFileBytes);
    EXPECT_GT(disk.end + 2 * chunk.size(), cfb::kMaxFileBytes / 129 * 128);
    EXPECT_EQ(writer.Finish(), cfb::Error::TooLarge);
    EXPECT_FALSE(disk.headerSet);

    // 31 streams of 64 MiB and one of 40 MiB: with the FAT just below 2 GiB.
    cfb::Writer full(std::make_unique<Sink>(below));
    ASSERT_EQ(full.Start(), cfb::Error::None);
    for (std::uint32_t i = 1; i <= 32; ++i) {
        ASSERT_EQ(full.CreateStream(Widen(std::to_string(i))), cfb::Error::None);
        ASSERT_EQ(full.Write(chunk.data(), i < 32 ? 64u << 20 : 40u << 20), cfb::Error::None);
        ASSERT_EQ(full.CloseStream(), cfb::Error::None);
    }
    EXPECT_EQ(full.Finish(), cfb::Error::None);
    EXPECT_TRUE(below.headerSet);
    EXPECT_GT(below.end, cfb::kMaxFileBytes - (16u << 20));
}

}  // namespace
