// The bytes the writer produces, checked field by field with RawView.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/writer.h"
#include "tests/compound_file/layout_check.h"
#include "tests/compound_file/raw_view.h"
#include "tests/compound_file/test_archives.h"
#include "tests/compound_file/tree_check.h"

namespace {

using cfb_test::kEnd;
using cfb_test::kFatMark;
using cfb_test::kFree;
using cfb_test::RawEntry;
using cfb_test::RawView;

// The root's tree of `count` streams stored as entries 1..count, checked with
// zero-based node ids.
cfb_test::TreeReport StreamTree(const std::vector<RawEntry>& entries, std::uint32_t count) {
    std::vector<RawEntry> streams(entries.begin() + 1, entries.begin() + 1 + count);
    cfb_test::TreeNodes tree{entries[0].child - 1, kFree - 1,
                             [streams](std::uint32_t n) { return streams.at(n).left - 1; },
                             [streams](std::uint32_t n) { return streams.at(n).right - 1; },
                             [streams](std::uint32_t n) { return streams.at(n).color == 0; }};
    return cfb_test::CheckRedBlackTree(tree, count);
}

void ExpectVersion3Header(const std::vector<std::uint8_t>& file) {
    RawView v(file);
    const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_TRUE(std::equal(signature, signature + 8, file.begin()));
    for (std::size_t i = 0x08; i < 0x18; ++i) EXPECT_EQ(file[i], 0) << "CLSID byte " << i;
    EXPECT_EQ(v.U16(0x18), 0x003E);  // minor version
    EXPECT_EQ(v.U16(0x1A), 3);       // major version
    EXPECT_EQ(v.U16(0x1C), 0xFFFE);  // byte order
    EXPECT_EQ(v.U16(0x1E), 9);       // 512-byte sectors
    EXPECT_EQ(v.U16(0x20), 6);       // 64-byte mini sectors
    for (std::size_t i = 0x22; i < 0x28; ++i) EXPECT_EQ(file[i], 0) << "reserved byte " << i;
    EXPECT_EQ(v.U32(0x28), 0u);      // directory sector count: 0 in version 3
    EXPECT_EQ(v.U32(0x34), 0u);      // transaction signature
    EXPECT_EQ(v.U32(0x38), 4096u);   // mini stream cutoff
    const std::uint32_t fatCount = v.U32(0x2C);
    EXPECT_GE(fatCount, 1u);
    for (std::uint32_t i = fatCount; i < 109; ++i) EXPECT_EQ(v.U32(0x4C + 4 * i), kFree) << "DIFAT slot " << i;
    if (fatCount <= 109) {
        EXPECT_EQ(v.U32(0x44), kEnd);  // first DIFAT sector
        EXPECT_EQ(v.U32(0x48), 0u);
    }
    EXPECT_EQ(file.size() % 512, 0u);
}

TEST(WriterLayout, EmptyArchive) {
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive({});
    ExpectVersion3Header(file);
    // Header, one directory sector, one FAT sector.
    ASSERT_EQ(file.size(), 3u * 512);
    RawView v(file);
    EXPECT_EQ(v.U32(0x2C), 1u);
    EXPECT_EQ(v.U32(0x3C), kEnd);
    EXPECT_EQ(v.U32(0x40), 0u);
    const std::vector<std::uint32_t> fat = v.Fat();
    EXPECT_EQ(fat[v.U32(0x30)], kEnd);
    EXPECT_EQ(fat[v.FatSectors()[0]], kFatMark);
    for (std::size_t s = 2; s < 128; ++s) EXPECT_EQ(fat[s], kFree);
    const std::vector<RawEntry> entries = v.Directory();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, u"Root Entry");
    EXPECT_EQ(entries[0].nameBytes, 22);
    EXPECT_EQ(entries[0].type, 5);
    EXPECT_EQ(entries[0].child, kFree);
    EXPECT_EQ(entries[0].start, kEnd);
    EXPECT_EQ(entries[0].sizeLow, 0u);
    EXPECT_TRUE(entries[0].zeroClsidStateTimes);
    EXPECT_EQ(cfb_test::CheckLayout(file), "");
}

TEST(WriterLayout, UnusedDirectoryEntriesAreBlank) {
    // Two streams: entries 3 of the one directory sector is unused.
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive(cfb_test::NumberedStreams(2, {10}));
    RawView v(file);
    const std::vector<std::uint32_t> chain = v.Chain(v.Fat(), v.U32(0x30));
    ASSERT_EQ(chain.size(), 1u);
    const std::size_t at = (chain[0] + 1) * 512 + 3 * 128;
    for (std::size_t i = 0; i < 128; ++i) {
        const bool link = i >= 0x44 && i < 0x50;
        EXPECT_EQ(file[at + i], link ? 0xFF : 0x00) << "byte " << i;
    }
}

struct Placement {
    std::size_t size;
    bool mini;
    std::size_t units;  // sectors or mini sectors in the chain
};

class StreamPlacement : public testing::TestWithParam<Placement> {};

TEST_P(StreamPlacement, ChainMatchesSize) {
    const Placement p = GetParam();
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(1, {p.size});
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive(streams);
    ExpectVersion3Header(file);
    EXPECT_EQ(cfb_test::CheckLayout(file), "");
    RawView v(file);
    const std::vector<RawEntry> entries = v.Directory();
    const RawEntry& root = entries.at(0);
    const RawEntry& stream = entries.at(1);
    EXPECT_EQ(root.child, 1u);
    EXPECT_EQ(stream.name, u"1");
    EXPECT_EQ(stream.nameBytes, 4);
    EXPECT_EQ(stream.type, 2);
    EXPECT_EQ(stream.color, 1);  // the only node is black
    EXPECT_EQ(stream.left, kFree);
    EXPECT_EQ(stream.right, kFree);
    EXPECT_EQ(stream.child, kFree);
    EXPECT_TRUE(stream.zeroClsidStateTimes);
    EXPECT_EQ(stream.sizeLow, p.size);
    EXPECT_EQ(stream.sizeHigh, 0u);
    if (p.size == 0) {
        EXPECT_EQ(stream.start, kEnd);
    } else {
        const std::vector<std::uint32_t> chain = v.Chain(p.mini ? v.MiniFat() : v.Fat(), stream.start);
        EXPECT_EQ(chain.size(), p.units);
    }
    // The mini stream holds exactly the mini sectors of mini streams.
    EXPECT_EQ(root.sizeLow, p.mini ? p.units * 64 : 0u);
    EXPECT_EQ(v.U32(0x40), p.mini && p.units > 0 ? 1u : 0u);
    EXPECT_EQ(v.StreamBytes(stream), streams[0].bytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamPlacement,
                         testing::Values(Placement{0, true, 0}, Placement{1, true, 1}, Placement{63, true, 1},
                                         Placement{64, true, 1}, Placement{65, true, 2},
                                         Placement{512, true, 8}, Placement{513, true, 9},
                                         Placement{4095, true, 64}, Placement{4096, false, 8},
                                         Placement{4097, false, 9}, Placement{100000, false, 196}));

// However a stream's bytes are split into Write() calls, the file is the same.
TEST(WriterLayout, SplittingWritesDoesNotChangeTheFile) {
    const std::vector<std::size_t> sizes = {0, 100, 4095, 4096, 5000, 65536, 65537, 70000, 200000};
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(sizes.size() * 2, sizes);
    const std::vector<std::uint8_t> whole = cfb_test::BuildArchive(streams);
    // Piece sizes, used in turn until the stream is written.
    const std::vector<std::vector<std::size_t>> splits = {
        {1024}, {7}, {1000}, {4095, 1}, {4096}, {3000, 62000, 1}, {65536}, {64, 4000, 100000}};
    for (const std::vector<std::size_t>& split : splits) {
        std::vector<std::uint8_t> file;
        cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
        ASSERT_EQ(writer.Start(), cfb::Error::None);
        for (const cfb_test::TestStream& stream : streams) {
            ASSERT_EQ(writer.CreateStream(stream.name), cfb::Error::None);
            for (std::size_t done = 0, turn = 0; done < stream.bytes.size(); ++turn) {
                const std::size_t piece = std::min(split[turn % split.size()], stream.bytes.size() - done);
                ASSERT_EQ(writer.Write(stream.bytes.data() + done, static_cast<std::uint32_t>(piece)), cfb::Error::None);
                ASSERT_EQ(writer.OpenStreamSize(), done + piece);
                done += piece;
            }
            ASSERT_EQ(writer.CloseStream(), cfb::Error::None);
        }
        ASSERT_EQ(writer.Finish(), cfb::Error::None);
        EXPECT_TRUE(file == whole) << "split starting with " << split[0];
    }
}

TEST(WriterLayout, MixedStreamsAccountForEverySector) {
    // Small and large streams interleave, so the mini stream's sectors are
    // spread between the large streams' runs.
    const std::vector<std::size_t> sizes = {0, 1, 64, 511, 512, 4095, 4096, 4097, 3000, 70000, 200, 1024};
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(600, sizes);
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive(streams);
    ExpectVersion3Header(file);
    EXPECT_EQ(cfb_test::CheckLayout(file), "");
    RawView v(file);
    const std::vector<RawEntry> entries = v.Directory();
    ASSERT_GE(entries.size(), streams.size() + 1);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        ASSERT_EQ(entries[i + 1].name, streams[i].name);
        ASSERT_EQ(v.StreamBytes(entries[i + 1]), streams[i].bytes) << "stream " << i + 1;
    }
    EXPECT_EQ(cfb_test::CompareWithReader(file, streams), "");
}

// Archives just below and above the sizes at which the header's 109 FAT slots
// run out (about 6.8 MB) and at which a second DIFAT sector is needed (about
// 15 MB). Each point must be laid out soundly, and the sweep must cross both
// boundaries.
TEST(WriterLayout, DifatBoundaries) {
    struct Sweep {
        std::size_t firstSectors;
        std::uint32_t difatBelow;
    } sweeps[] = {{13835, 0}, {29960, 1}};
    for (const Sweep& sweep : sweeps) {
        std::set<std::uint32_t> difatCounts;
        for (std::size_t sectors = sweep.firstSectors; sectors < sweep.firstSectors + 16; ++sectors) {
            const std::vector<cfb_test::TestStream> streams = {
                {u"1", cfb_test::Pattern(sectors * 512 - 100, 7)}, {u"2", cfb_test::Pattern(300, 8)}};
            const std::vector<std::uint8_t> file = cfb_test::BuildArchive(streams);
            ASSERT_EQ(cfb_test::CheckLayout(file), "") << sectors;
            ExpectVersion3Header(file);
            RawView v(file);
            difatCounts.insert(v.U32(0x48));
            ASSERT_EQ(cfb_test::CompareWithReader(file, streams), "") << sectors;
        }
        EXPECT_EQ(difatCounts, (std::set<std::uint32_t>{sweep.difatBelow, sweep.difatBelow + 1}));
    }
}

TEST(WriterLayout, ThousandsOfStreamsFormOneOrderedRedBlackTree) {
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(5000, {0, 30, 700, 5000});
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive(streams);
    ASSERT_EQ(cfb_test::CheckLayout(file), "");
    RawView v(file);
    const std::vector<RawEntry> entries = v.Directory();
    ASSERT_EQ(entries.size(), (5001u + 3) / 4 * 4);
    const cfb_test::TreeReport report = StreamTree(entries, 5000);
    ASSERT_EQ(report.error, "");
    EXPECT_LE(report.height, 13);  // 5000 nodes: floor(log2(5000)) + 1
    // In-order: "1", "2", ..., "9", "10", ...: the numbers in ascending order.
    ASSERT_EQ(report.inOrder.size(), 5000u);
    for (std::size_t i = 0; i < report.inOrder.size(); ++i) {
        ASSERT_EQ(entries[report.inOrder[i] + 1].name, cfb_test::Utf16(std::to_string(i + 1)));
    }
    for (std::size_t i = 1; i <= 5000; ++i) {
        ASSERT_EQ(entries[i].type, 2);
        ASSERT_TRUE(entries[i].color == 0 || entries[i].color == 1);
    }
    for (std::size_t i = 5001; i < entries.size(); ++i) EXPECT_EQ(entries[i].type, 0);
}

TEST(WriterLayout, TreeOrderIgnoresCreationOrderAndCase) {
    // Created out of order, with mixed case and lengths.
    const std::vector<std::u16string> names = {u"b", u"10", u"A", u"9", u"aa", u"C", u"Ab", u"_", u"z"};
    std::vector<cfb_test::TestStream> streams;
    for (std::size_t i = 0; i < names.size(); ++i) streams.push_back({names[i], cfb_test::Pattern(i * 100, 1)});
    const std::vector<std::uint8_t> file = cfb_test::BuildArchive(streams);
    RawView v(file);
    const std::vector<RawEntry> entries = v.Directory();
    const cfb_test::TreeReport report = StreamTree(entries, static_cast<std::uint32_t>(names.size()));
    ASSERT_EQ(report.error, "");
    std::vector<std::u16string> inOrder;
    for (std::uint32_t n : report.inOrder) inOrder.push_back(entries[n + 1].name);
    const std::vector<std::u16string> expected = {u"9", u"A", u"b", u"C", u"z", u"_", u"10", u"aa", u"Ab"};
    EXPECT_EQ(inOrder, expected);
}

}  // namespace
