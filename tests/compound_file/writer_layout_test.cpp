// The bytes the writer produces, checked field by field with RawView.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/writer.h"
#include "tests/compound_file/test_archives.h"

namespace {

using cfb_test::kEnd;
using cfb_test::kFree;
using cfb_test::RawEntry;
using cfb_test::RawView;
using Bytes = std::vector<std::uint8_t>;

void ExpectVersion3Header(const Bytes& file) {
    RawView v(file);
    // Signature, zero CLSID, minor version 0x3E, major version 3, byte order
    // FFFE, 512-byte sectors, 64-byte mini sectors, six reserved zero bytes and
    // no directory sector count (version 3).
    const Bytes fixed = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0,    0,    0x3E, 0,    3,    0,    0xFE, 0xFF, 9, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_GE(file.size(), 512u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 0x2C), fixed);
    EXPECT_EQ(v.U32(0x34), 0u);     // transaction signature
    EXPECT_EQ(v.U32(0x38), 4096u);  // mini stream cutoff
    const std::uint32_t fatCount = v.U32(0x2C);
    for (std::uint32_t i = fatCount; i < 109; ++i) EXPECT_EQ(v.U32(0x4C + 4 * i), kFree) << "DIFAT slot " << i;
    if (fatCount <= 109) {
        EXPECT_EQ(v.U32(0x44), kEnd);  // first DIFAT sector
        EXPECT_EQ(v.U32(0x48), 0u);
    }
    EXPECT_EQ(cfb_test::CheckLayout(file), "");
}

// The root's tree of `count` streams stored as entries 1..count, with
// zero-based node ids.
cfb_test::TreeReport StreamTree(const std::vector<RawEntry>& entries, std::size_t count) {
    std::vector<std::uint32_t> left, right;
    std::vector<bool> red;
    for (std::size_t i = 1; i <= count; ++i) {
        left.push_back(entries.at(i).left - 1), right.push_back(entries[i].right - 1), red.push_back(entries[i].color == 0);
    }
    return cfb_test::CheckRedBlackTree(entries[0].child - 1, kFree - 1, left, right, red);
}

TEST(WriterLayout, EmptyArchiveHasARootAndBlankEntries) {
    const Bytes file = cfb_test::BuildArchive({});
    ExpectVersion3Header(file);
    ASSERT_EQ(file.size(), 3u * 512);  // header, one directory sector, one FAT sector
    RawView v(file);
    EXPECT_EQ(v.U32(0x2C), 1u);
    EXPECT_EQ(v.U32(0x40), 0u);
    const std::vector<RawEntry> entries = v.Directory();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, u"Root Entry");
    EXPECT_EQ(entries[0].nameBytes, 22);
    EXPECT_EQ(entries[0].type, 5);
    EXPECT_EQ(entries[0].child, kFree);
    EXPECT_EQ(entries[0].start, kEnd);
    EXPECT_EQ(entries[0].sizeLow, 0u);
    EXPECT_TRUE(entries[0].zeroClsidStateTimes);
    // Unused entries: zeros but for the three links, which are NOSTREAM.
    const std::size_t directory = (v.U32(0x30) + 1) * 512;
    for (std::size_t i = 128; i < 512; ++i) {
        EXPECT_EQ(file[directory + i], i % 128 >= 0x44 && i % 128 < 0x50 ? 0xFF : 0x00) << "byte " << i;
    }
}

TEST(WriterLayout, ChainAndMiniStreamMatchEachSize) {
    const struct {
        std::size_t size;
        bool mini;
        std::size_t units;  // sectors or mini sectors in the chain
    } cases[] = {{0, true, 0},      {1, true, 1},      {63, true, 1},       {64, true, 1},
                 {65, true, 2},     {512, true, 8},    {513, true, 9},      {4095, true, 64},
                 {4096, false, 8},  {4097, false, 9},  {100000, false, 196}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(1, {c.size});
        const Bytes file = cfb_test::BuildArchive(streams);
        ExpectVersion3Header(file);
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
        EXPECT_EQ(stream.sizeLow, c.size);
        EXPECT_EQ(stream.sizeHigh, 0u);
        const std::size_t units = c.size == 0 ? 0 : v.Chain(c.mini ? v.MiniFat() : v.Fat(), stream.start).size();
        EXPECT_EQ(units, c.units);
        EXPECT_EQ(stream.start == kEnd, c.size == 0);
        // The mini stream holds exactly the mini sectors of small streams.
        EXPECT_EQ(root.sizeLow, c.mini ? c.units * 64 : 0u);
        EXPECT_EQ(v.U32(0x40), c.mini && c.units > 0 ? 1u : 0u);
        EXPECT_EQ(cfb_test::CompareWithReader(file, streams), "");
    }
}

// However a stream's bytes are split into Write() calls, the file is the same.
TEST(WriterLayout, SplittingWritesDoesNotChangeTheFile) {
    const std::vector<cfb_test::TestStream> streams =
        cfb_test::NumberedStreams(18, {0, 100, 4095, 4096, 5000, 65536, 65537, 70000, 200000});
    const Bytes whole = cfb_test::BuildArchive(streams);
    // Piece sizes, used in turn until the stream is written.
    const std::vector<std::vector<std::size_t>> splits = {{7}, {1000}, {4095, 1}, {3000, 62000, 1}, {64, 4000, 100000}};
    for (const std::vector<std::size_t>& split : splits) {
        Bytes file;
        cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
        ASSERT_EQ(writer.Start(), cfb::Error::None);
        for (const cfb_test::TestStream& stream : streams) {
            ASSERT_EQ(writer.CreateStream(stream.name), cfb::Error::None);
            for (std::size_t done = 0, turn = 0; done < stream.bytes.size(); ++turn) {
                const std::size_t piece = std::min(split[turn % split.size()], stream.bytes.size() - done);
                ASSERT_EQ(writer.Write(stream.bytes.data() + done, static_cast<std::uint32_t>(piece)), cfb::Error::None);
                done += piece;
                ASSERT_EQ(writer.OpenStreamSize(), done);
            }
            ASSERT_EQ(writer.CloseStream(), cfb::Error::None);
        }
        ASSERT_EQ(writer.Finish(), cfb::Error::None);
        EXPECT_TRUE(file == whole) << "split starting with " << split[0];
    }
}

// Archives just below and above the sizes at which the header's 109 FAT slots
// run out (about 6.8 MB) and at which a second DIFAT sector is needed (about
// 15 MB): each laid out soundly, and each sweep crosses its boundary.
TEST(WriterLayout, DifatBoundaries) {
    for (const auto& [firstSectors, difatBelow] : {std::pair<std::size_t, std::uint32_t>{13835, 0}, {29960, 1}}) {
        std::set<std::uint32_t> difatCounts;
        for (std::size_t sectors = firstSectors; sectors < firstSectors + 16; ++sectors) {
            const std::vector<cfb_test::TestStream> streams = {{u"1", cfb_test::Pattern(sectors * 512 - 100, 7)},
                                                               {u"2", cfb_test::Pattern(300, 8)}};
            const Bytes file = cfb_test::BuildArchive(streams);
            ExpectVersion3Header(file);
            difatCounts.insert(RawView(file).U32(0x48));
            ASSERT_EQ(cfb_test::CompareWithReader(file, streams), "") << sectors;
        }
        EXPECT_EQ(difatCounts, (std::set<std::uint32_t>{difatBelow, difatBelow + 1}));
    }
}

// The directory is one red-black tree in name order, whatever the creation
// order and case: numbers in ascending order, shorter names first.
TEST(WriterLayout, StreamsFormOneOrderedRedBlackTree) {
    std::vector<cfb_test::TestStream> mixed;
    for (const char16_t* name : {u"b", u"10", u"A", u"9", u"aa", u"C", u"Ab", u"_", u"z"}) {
        mixed.push_back({name, cfb_test::Pattern(mixed.size() * 100, 1)});
    }
    std::vector<std::u16string> numbers;
    for (int i = 1; i <= 5000; ++i) numbers.push_back(cfb_test::Utf16(std::to_string(i)));
    const struct {
        std::vector<cfb_test::TestStream> streams;
        std::vector<std::u16string> inOrder;
    } cases[] = {{mixed, {u"9", u"A", u"b", u"C", u"z", u"_", u"10", u"aa", u"Ab"}},
                 {cfb_test::NumberedStreams(5000, {0, 30, 700, 5000}), numbers}};
    for (const auto& c : cases) {
        const Bytes file = cfb_test::BuildArchive(c.streams);
        ASSERT_EQ(cfb_test::CheckLayout(file), "");
        const std::vector<RawEntry> entries = RawView(file).Directory();
        ASSERT_EQ(entries.size(), (c.streams.size() + 4) / 4 * 4);
        for (std::size_t i = c.streams.size() + 1; i < entries.size(); ++i) EXPECT_EQ(entries[i].type, 0);
        const cfb_test::TreeReport report = StreamTree(entries, c.streams.size());
        ASSERT_EQ(report.error, "");
        EXPECT_EQ(report.height, static_cast<int>(std::log2(c.streams.size())) + 1);  // minimal
        std::vector<std::u16string> inOrder;
        for (std::uint32_t n : report.inOrder) inOrder.push_back(entries[n + 1].name);
        EXPECT_EQ(inOrder, c.inOrder);
    }
}

}  // namespace
