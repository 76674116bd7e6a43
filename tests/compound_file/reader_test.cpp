// The reader: round trips, partial reads, and a table of malformed files that
// must each be rejected with a message, never a crash or a hang.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"
#include "tests/compound_file/raw_view.h"
#include "tests/compound_file/test_archives.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<std::size_t> kBaseSizes = {0, 10, 100, 700, 3000, 4095, 4096, 5000, 20000, 64, 1, 9000};

const Bytes& BaseArchive() {
    static const Bytes file = cfb_test::BuildArchive(cfb_test::NumberedStreams(kBaseSizes.size(), kBaseSizes));
    return file;
}

std::string OpenError(const Bytes& file) {
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    return reader.Open(source);
}

TEST(Reader, ListsInNameOrderAndReadsAnyRange) {
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(kBaseSizes.size(), kBaseSizes);
    const Bytes& file = BaseArchive();
    ASSERT_EQ(cfb_test::CompareWithReader(file, streams), "");
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    ASSERT_EQ(reader.Open(source), "");
    EXPECT_EQ(reader.MajorVersion(), 3);
    EXPECT_EQ(reader.SectorSize(), 512u);
    EXPECT_TRUE(reader.CheckStructure().empty());
    ASSERT_EQ(reader.Entries().size(), streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        EXPECT_EQ(reader.Entries()[i].name, cfb_test::Utf16(std::to_string(i + 1)));  // "1".."12"
    }
    // Ranges that start and end inside sectors and cross mini sector runs.
    for (std::size_t index : {4u, 8u, 11u}) {
        const std::vector<std::uint8_t>& expected = streams[index].bytes;
        for (std::size_t offset : {std::size_t{0}, std::size_t{1}, std::size_t{63}, std::size_t{511}, std::size_t{1000}}) {
            const std::size_t size = std::min<std::size_t>(1500, expected.size() - offset);
            std::vector<std::uint8_t> got(size);
            ASSERT_EQ(reader.Read(index, offset, got.data(), size), "");
            EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + static_cast<long>(offset)));
        }
        std::uint8_t byte;
        EXPECT_NE(reader.Read(index, expected.size(), &byte, 1), "");
        EXPECT_NE(reader.Read(index, ~std::uint64_t{0}, &byte, 2), "");
    }
    EXPECT_NE(reader.Read(streams.size(), 0, nullptr, 0), "");
    EXPECT_EQ(reader.Find(u"13"), -1);
    EXPECT_EQ(reader.Find(u"12"), 11);
}

// Where the fields of a file written by our writer live.
struct Editor {
    Bytes bytes;
    cfb_test::RawView view{bytes};

    explicit Editor(const Bytes& file) : bytes(file) {}
    void SetU32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void SetU16(std::size_t at, std::uint16_t v) {
        bytes.at(at) = static_cast<std::uint8_t>(v);
        bytes.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
    }
    std::size_t Entry(std::uint32_t id) const {
        const std::vector<std::uint32_t> chain = view.Chain(view.Fat(), view.U32(0x30));
        return (chain.at(id / 4) + 1) * 512 + (id % 4) * 128;
    }
    std::size_t FatEntry(std::uint32_t sector) const {
        return (view.FatSectors().at(sector / 128) + 1) * 512 + (sector % 128) * 4;
    }
    std::size_t MiniFatEntry(std::uint32_t mini) const {
        const std::vector<std::uint32_t> chain = view.Chain(view.Fat(), view.U32(0x3C));
        return (chain.at(mini / 128) + 1) * 512 + (mini % 128) * 4;
    }
    std::uint32_t Start(std::uint32_t id) const { return view.U32(Entry(id) + 0x74); }
    std::vector<std::uint32_t> StreamChain(std::uint32_t id) const { return view.Chain(view.Fat(), Start(id)); }
};

struct Corruption {
    const char* what;
    const char* expected;  // part of the reader's message
    std::function<void(Editor&)> apply;
};

// Stream entry ids in the base archive: id n is stream "n" of kBaseSizes[n-1]
// bytes; 9 is large (20000), 5 is in the mini stream (3000).
const Corruption kCorruptions[] = {
    {"empty file", "too short", [](Editor& e) { e.bytes.clear(); }},
    {"shorter than a header", "too short", [](Editor& e) { e.bytes.resize(300); }},
    {"header only", "file holds only 0 sectors", [](Editor& e) { e.bytes.resize(512); }},
    {"cut in the middle", "outside the file", [](Editor& e) { e.bytes.resize(e.bytes.size() / 2); }},
    {"last sector missing", "outside the file", [](Editor& e) { e.bytes.resize(e.bytes.size() - 512); }},
    {"signature", "wrong signature", [](Editor& e) { e.bytes[3] ^= 0xFF; }},
    {"byte order", "byte order", [](Editor& e) { e.SetU16(0x1C, 0xFEFF); }},
    {"major version 2", "unsupported major version 2", [](Editor& e) { e.SetU16(0x1A, 2); }},
    {"major version 4 with 512-byte sectors", "does not match major version 4", [](Editor& e) { e.SetU16(0x1A, 4); }},
    {"sector shift 12 in version 3", "does not match major version 3", [](Editor& e) { e.SetU16(0x1E, 12); }},
    {"sector shift 40", "sector shift 40", [](Editor& e) { e.SetU16(0x1E, 40); }},
    {"mini sector shift", "mini sector shift", [](Editor& e) { e.SetU16(0x20, 7); }},
    {"mini stream cutoff", "cutoff", [](Editor& e) { e.SetU32(0x38, 8192); }},
    {"reserved bytes", "reserved", [](Editor& e) { e.bytes[0x24] = 1; }},
    {"directory sector count in version 3", "directory sector count", [](Editor& e) { e.SetU32(0x28, 1); }},
    {"no FAT sectors", "no FAT sectors", [](Editor& e) { e.SetU32(0x2C, 0); }},
    {"absurd FAT sector count", "4294967280 FAT sectors", [](Editor& e) { e.SetU32(0x2C, 0xFFFFFFF0u); }},
    {"DIFAT count without need", "DIFAT sectors", [](Editor& e) { e.SetU32(0x48, 3); }},
    {"FAT sector out of range", "outside the file", [](Editor& e) { e.SetU32(0x4C, 0x00FFFFFFu); }},
    {"FAT sector is a special value", "outside the file", [](Editor& e) { e.SetU32(0x4C, 0xFFFFFFFEu); }},
    {"directory start out of range", "the directory: its chain reaches", [](Editor& e) { e.SetU32(0x30, 0x7FFFFFFFu); }},
    {"directory start ENDOFCHAIN", "no directory", [](Editor& e) { e.SetU32(0x30, 0xFFFFFFFEu); }},
    {"directory chain loops", "the directory: sector",
     [](Editor& e) {
         const std::uint32_t first = e.view.U32(0x30);
         const std::vector<std::uint32_t> chain = e.view.Chain(e.view.Fat(), first);
         e.SetU32(e.FatEntry(chain.back()), first);
     }},
    {"stream chain loops", "stream entry 9",
     [](Editor& e) {
         const std::vector<std::uint32_t> chain = e.StreamChain(9);
         e.SetU32(e.FatEntry(chain.back()), chain.front());
     }},
    {"stream chain loops onto itself", "already in use",
     [](Editor& e) {
         const std::vector<std::uint32_t> chain = e.StreamChain(9);
         e.SetU32(e.FatEntry(chain[2]), chain[2]);
     }},
    {"stream chain shorter than its size", "ends after 6 sectors",
     [](Editor& e) { e.SetU32(e.FatEntry(e.StreamChain(9)[5]), 0xFFFFFFFEu); }},
    {"stream chain longer than its size", "longer than its size needs",
     [](Editor& e) {
         const std::vector<std::uint32_t> chain = e.StreamChain(9);
         e.SetU32(e.FatEntry(chain.back()), e.StreamChain(12).front());
     }},
    {"stream chain out of range", "out of range", [](Editor& e) { e.SetU32(e.FatEntry(e.StreamChain(9)[3]), 0x00ABCDEFu); }},
    {"stream chain into a free value", "a special value", [](Editor& e) { e.SetU32(e.FatEntry(e.StreamChain(9)[3]), 0xFFFFFFFFu); }},
    {"two streams share sectors", "already in use", [](Editor& e) { e.SetU32(e.Entry(12) + 0x74, e.Start(9)); }},
    {"stream start out of range", "stream entry 9", [](Editor& e) { e.SetU32(e.Entry(9) + 0x74, 0x10000000u); }},
    {"stream size beyond the file", "more than the file has", [](Editor& e) { e.SetU32(e.Entry(9) + 0x78, 0xFFFFFFF0u); }},
    {"stream size one sector larger", "needs 41", [](Editor& e) { e.SetU32(e.Entry(9) + 0x78, 20000 + 512); }},
    {"mini stream size beyond its chain", "the mini stream", [](Editor& e) { e.SetU32(e.Entry(0) + 0x78, 0x00100000u); }},
    {"mini stream start out of range", "the mini stream", [](Editor& e) { e.SetU32(e.Entry(0) + 0x74, 0x00100000u); }},
    {"mini FAT count too high", "the mini FAT", [](Editor& e) { e.SetU32(0x40, 5); }},
    {"mini FAT start out of range", "the mini FAT", [](Editor& e) { e.SetU32(0x3C, 0x00FFFFFFu); }},
    {"mini chain loops", "(in the mini stream)", [](Editor& e) { e.SetU32(e.MiniFatEntry(e.Start(5) + 3), e.Start(5)); }},
    {"mini chain beyond the mini stream", "(in the mini stream)", [](Editor& e) { e.SetU32(e.MiniFatEntry(e.Start(5) + 3), 100000); }},
    {"mini stream start beyond the mini stream", "(in the mini stream)", [](Editor& e) { e.SetU32(e.Entry(5) + 0x74, 0x0FFFFFFFu); }},
    {"name length odd", "name length (5", [](Editor& e) { e.SetU16(e.Entry(3) + 0x40, 5); }},
    {"name length zero", "name length (0", [](Editor& e) { e.SetU16(e.Entry(3) + 0x40, 0); }},
    {"name length over 64", "name length (66", [](Editor& e) { e.SetU16(e.Entry(3) + 0x40, 66); }},
    {"name without terminator", "not terminated", [](Editor& e) { e.SetU16(e.Entry(3) + 0x02, u'x'); }},
    {"name with a slash", "invalid name", [](Editor& e) { e.SetU16(e.Entry(3), u'/'); }},
    {"root is not a root", "not the root", [](Editor& e) { e.bytes.at(e.Entry(0) + 0x42) = 1; }},
    {"entry of unknown type in the tree", "type 7", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 7; }},
    {"second root in the tree", "type 5", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 5; }},
    {"unused entry in the tree", "type 0", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 0; }},
    {"sibling beyond the directory", "entry 5000", [](Editor& e) {
         const std::uint32_t root = e.view.U32(e.Entry(0) + 0x4C);
         e.SetU32(e.Entry(root) + 0x44, 5000);
     }},
    {"sibling points to itself", "reached twice", [](Editor& e) {
         const std::uint32_t root = e.view.U32(e.Entry(0) + 0x4C);
         e.SetU32(e.Entry(root) + 0x48, root);
     }},
    {"sibling points back to the root entry", "entry 0 is reached twice", [](Editor& e) {
         const std::uint32_t root = e.view.U32(e.Entry(0) + 0x4C);
         e.SetU32(e.Entry(root) + 0x44, 0);
     }},
    {"child cycle through a storage", "reached twice", [](Editor& e) {
         e.bytes.at(e.Entry(4) + 0x42) = 1;  // stream 4 becomes a storage ...
         e.SetU32(e.Entry(4) + 0x4C, e.view.U32(e.Entry(0) + 0x4C));  // ... holding the root's tree
     }},
    {"two entries with one name", "same name", [](Editor& e) { e.SetU16(e.Entry(3), u'2'); }},
};

TEST(ReaderRejects, EveryCorruption) {
    ASSERT_EQ(OpenError(BaseArchive()), "");
    for (const Corruption& c : kCorruptions) {
        Editor editor(BaseArchive());
        c.apply(editor);
        const std::string error = OpenError(editor.bytes);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
    }
}

// Archives large enough for DIFAT sectors.
TEST(ReaderRejects, DifatCorruptions) {
    const Bytes file = cfb_test::BuildArchive({{u"1", cfb_test::Pattern(16u << 20, 4)}});
    Editor base(file);
    ASSERT_EQ(base.view.U32(0x48), 2u);
    ASSERT_EQ(OpenError(file), "");
    const std::uint32_t firstDifat = base.view.U32(0x44);
    const std::vector<std::uint32_t> difat = base.view.DifatSectors();
    const Corruption corruptions[] = {
        {"DIFAT count too low", "1 DIFAT sectors", [](Editor& e) { e.SetU32(0x48, 1); }},
        {"DIFAT start out of range", "DIFAT chain reaches", [](Editor& e) { e.SetU32(0x44, 0x0FFFFFFFu); }},
        {"DIFAT chain loops", "DIFAT", [&](Editor& e) { e.SetU32((difat[1] + 1) * 512 + 127 * 4, firstDifat); }},
        {"DIFAT chain does not end", "does not end", [&](Editor& e) { e.SetU32((difat[1] + 1) * 512 + 127 * 4, difat[0]); }},
        {"DIFAT lists a FAT sector twice", "listed twice", [&](Editor& e) {
             e.SetU32((firstDifat + 1) * 512 + 4, e.view.U32((firstDifat + 1) * 512));
         }},
        {"DIFAT entry out of range", "outside the file", [&](Editor& e) { e.SetU32((firstDifat + 1) * 512 + 8, 0x0FFFFFFFu); }},
    };
    for (const Corruption& c : corruptions) {
        Editor editor(file);
        c.apply(editor);
        const std::string error = OpenError(editor.bytes);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
    }
}

// Random damage: whatever Open() accepts must then read without harm.
TEST(ReaderRejects, RandomDamageNeverCrashes) {
    std::mt19937 random(20240611);
    const Bytes& base = BaseArchive();
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes file = base;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int f = 0; f < flips; ++f) {
            const std::size_t at = random() % file.size();
            file[at] = static_cast<std::uint8_t>(random() % 3 == 0 ? 0xFF : random());
        }
        if (random() % 10 == 0) file.resize(random() % file.size());
        cfb::MemorySource source(file.data(), file.size());
        cfb::Reader reader;
        if (!reader.Open(source).empty()) continue;
        ++accepted;
        for (std::size_t i = 0; i < reader.Entries().size(); ++i) {
            std::uint64_t total = 0;
            reader.ReadAll(i, [&](const std::uint8_t*, std::size_t size) {
                total += size;
                return true;
            });
            EXPECT_LE(total, reader.Entries()[i].size);
        }
        reader.CheckStructure();
    }
    // Damage to stream contents leaves files valid: the loop did read some.
    EXPECT_GT(accepted, 100);
}

}  // namespace
