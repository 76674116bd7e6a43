// The reader: ranges read back exactly, and a table of malformed files that
// must each be rejected with a telling message.

#include <gtest/gtest.h>

#include <functional>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"
#include "tests/compound_file/test_archives.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using cfb_test::OpenError;

const std::vector<std::size_t> kBaseSizes = {0, 10, 100, 700, 3000, 4095, 4096, 5000, 20000, 64, 1, 9000};

const Bytes& BaseArchive() {
    static const Bytes file = cfb_test::BuildArchive(cfb_test::NumberedStreams(kBaseSizes.size(), kBaseSizes));
    return file;
}

const Bytes& DifatArchive() {  // one 16 MiB stream: two DIFAT sectors
    static const Bytes file = cfb_test::BuildArchive({{u"1", cfb_test::Pattern(16u << 20, 4)}});
    return file;
}

TEST(Reader, ListsInNameOrderAndReadsAnyRange) {
    const std::vector<cfb_test::TestStream> streams = cfb_test::NumberedStreams(kBaseSizes.size(), kBaseSizes);
    const Bytes& file = BaseArchive();
    ASSERT_EQ(cfb_test::CompareWithReader(file, streams), "");
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    ASSERT_EQ(reader.Open(source), "");
    EXPECT_TRUE(reader.CheckStructure().empty());
    for (std::size_t i = 0; i < streams.size(); ++i) EXPECT_EQ(reader.Entries().at(i).name, streams[i].name);
    // Ranges that start and end inside sectors and cross mini sector runs.
    for (std::size_t index : {4u, 8u, 11u}) {
        const Bytes& expected = streams[index].bytes;
        for (std::size_t offset : {0u, 1u, 63u, 511u, 1000u}) {
            Bytes got(std::min<std::size_t>(1500, expected.size() - offset));
            ASSERT_EQ(reader.Read(index, offset, got.data(), got.size()), "");
            EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + static_cast<long>(offset)));
        }
        std::uint8_t byte;
        EXPECT_NE(reader.Read(index, ~std::uint64_t{0}, &byte, 2), "");  // the end does not wrap around
    }
    EXPECT_NE(reader.Read(streams.size(), 0, nullptr, 0), "");
}

// Where the fields of a file written by our writer live.
struct Editor {
    Bytes bytes;
    cfb_test::RawView view{bytes};

    explicit Editor(const Bytes& file) : bytes(file) {}
    void Set32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void Set16(std::size_t at, std::uint16_t v) { bytes.at(at) = v & 0xFF, bytes.at(at + 1) = v >> 8; }
    std::size_t Entry(std::uint32_t id) const {
        return (view.Chain(view.Fat(), view.U32(0x30)).at(id / 4) + 1) * 512 + (id % 4) * 128;
    }
    std::size_t Fat(std::uint32_t sector) const {
        return (view.FatSectors().at(sector / 128) + 1) * 512 + (sector % 128) * 4;
    }
    std::size_t MiniFat(std::uint32_t mini) const {
        return (view.Chain(view.Fat(), view.U32(0x3C)).at(mini / 128) + 1) * 512 + (mini % 128) * 4;
    }
    std::uint32_t Start(std::uint32_t id) const { return view.U32(Entry(id) + 0x74); }
    std::vector<std::uint32_t> Chain(std::uint32_t id) const { return view.Chain(view.Fat(), Start(id)); }
    std::uint32_t RootTree() const { return view.U32(Entry(0) + 0x4C); }
    std::size_t Difat(std::size_t i, std::size_t slot) const { return (view.DifatSectors().at(i) + 1) * 512 + slot * 4; }
};

// In the base archive entry n is stream "n" of kBaseSizes[n-1] bytes: 9 is
// large (20000), 5 is in the mini stream (3000).
const struct Corruption {
    const char* what;
    const char* expected;  // part of the reader's message
    std::function<void(Editor&)> apply;
    bool difat = false;  // applied to DifatArchive()
} kCorruptions[] = {
    {"empty file", "too short", [](Editor& e) { e.bytes.clear(); }},
    {"header only", "file holds only 0 sectors", [](Editor& e) { e.bytes.resize(512); }},
    {"last sector missing", "outside the file", [](Editor& e) { e.bytes.resize(e.bytes.size() - 512); }},
    {"signature", "wrong signature", [](Editor& e) { e.bytes[3] ^= 0xFF; }},
    {"byte order", "byte order", [](Editor& e) { e.Set16(0x1C, 0xFEFF); }},
    {"major version 2", "unsupported major version 2", [](Editor& e) { e.Set16(0x1A, 2); }},
    {"version 4, 512-byte sectors", "does not match major version 4", [](Editor& e) { e.Set16(0x1A, 4); }},
    {"sector shift 12 in version 3", "does not match major version 3", [](Editor& e) { e.Set16(0x1E, 12); }},
    {"sector shift 40", "sector shift 40", [](Editor& e) { e.Set16(0x1E, 40); }},
    {"mini sector shift", "mini sector shift", [](Editor& e) { e.Set16(0x20, 7); }},
    {"mini stream cutoff", "cutoff", [](Editor& e) { e.Set32(0x38, 8192); }},
    {"reserved bytes", "reserved", [](Editor& e) { e.bytes[0x24] = 1; }},
    {"directory sector count", "directory sector count", [](Editor& e) { e.Set32(0x28, 1); }},
    {"no FAT sectors", "no FAT sectors", [](Editor& e) { e.Set32(0x2C, 0); }},
    {"absurd FAT sector count", "4294967280 FAT sectors", [](Editor& e) { e.Set32(0x2C, 0xFFFFFFF0u); }},
    {"DIFAT count without need", "DIFAT sectors", [](Editor& e) { e.Set32(0x48, 3); }},
    {"FAT sector is a special value", "outside the file", [](Editor& e) { e.Set32(0x4C, cfb_test::kEnd); }},
    {"FAT sector past the sectors its FAT describes", "beyond the sectors the FAT describes", [](Editor& e) {
         e.bytes.resize(e.bytes.size() + 200 * 512);
         e.Set32(0x4C, 150);
     }},
    {"directory start out of range", "the directory: its chain reaches", [](Editor& e) { e.Set32(0x30, 0x7FFFFFFF); }},
    {"directory start ENDOFCHAIN", "no directory", [](Editor& e) { e.Set32(0x30, cfb_test::kEnd); }},
    {"directory chain loops", "the directory: sector",
     [](Editor& e) { e.Set32(e.Fat(e.view.Chain(e.view.Fat(), e.view.U32(0x30)).back()), e.view.U32(0x30)); }},
    {"stream chain loops", "stream entry 9", [](Editor& e) { e.Set32(e.Fat(e.Chain(9).back()), e.Start(9)); }},
    {"chain loops onto itself", "already in use", [](Editor& e) { e.Set32(e.Fat(e.Chain(9)[2]), e.Chain(9)[2]); }},
    {"chain shorter than the size", "ends after 6 sectors", [](Editor& e) { e.Set32(e.Fat(e.Chain(9)[5]), cfb_test::kEnd); }},
    {"chain longer than the size", "longer than its size needs",
     [](Editor& e) { e.Set32(e.Fat(e.Chain(9).back()), e.Start(12)); }},
    {"chain out of range", "out of range", [](Editor& e) { e.Set32(e.Fat(e.Chain(9)[3]), 0x00ABCDEF); }},
    {"chain into a free value", "a special value", [](Editor& e) { e.Set32(e.Fat(e.Chain(9)[3]), 0xFFFFFFFF); }},
    {"two streams share sectors", "already in use", [](Editor& e) { e.Set32(e.Entry(12) + 0x74, e.Start(9)); }},
    {"stream start out of range", "stream entry 9", [](Editor& e) { e.Set32(e.Entry(9) + 0x74, 0x10000000); }},
    {"size beyond the file", "more than the file has", [](Editor& e) { e.Set32(e.Entry(9) + 0x78, 0xFFFFFFF0u); }},
    {"size one sector larger", "needs 41", [](Editor& e) { e.Set32(e.Entry(9) + 0x78, 20000 + 512); }},
    {"mini stream size beyond its chain", "the mini stream", [](Editor& e) { e.Set32(e.Entry(0) + 0x78, 1 << 20); }},
    {"mini FAT count too high", "the mini FAT", [](Editor& e) { e.Set32(0x40, 5); }},
    {"mini FAT start out of range", "the mini FAT", [](Editor& e) { e.Set32(0x3C, 0x00FFFFFF); }},
    {"mini chain loops", "(in the mini stream)", [](Editor& e) { e.Set32(e.MiniFat(e.Start(5) + 3), e.Start(5)); }},
    {"mini chain beyond the mini stream", "(in the mini stream)",
     [](Editor& e) { e.Set32(e.MiniFat(e.Start(5) + 3), 100000); }},
    {"mini start beyond the mini stream", "(in the mini stream)", [](Editor& e) { e.Set32(e.Entry(5) + 0x74, 0x0FFFFFFF); }},
    {"name length odd", "name length (5", [](Editor& e) { e.Set16(e.Entry(3) + 0x40, 5); }},
    {"name length over 64", "name length (66", [](Editor& e) { e.Set16(e.Entry(3) + 0x40, 66); }},
    {"name without terminator", "not terminated", [](Editor& e) { e.Set16(e.Entry(3) + 0x02, u'x'); }},
    {"name with a slash", "invalid name", [](Editor& e) { e.Set16(e.Entry(3), u'/'); }},
    {"two entries with one name", "same name", [](Editor& e) { e.Set16(e.Entry(3), u'2'); }},
    {"root is not a root", "not the root", [](Editor& e) { e.bytes.at(e.Entry(0) + 0x42) = 1; }},
    {"unknown type in the tree", "type 7", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 7; }},
    {"second root in the tree", "type 5", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 5; }},
    {"unused entry in the tree", "type 0", [](Editor& e) { e.bytes.at(e.Entry(4) + 0x42) = 0; }},
    {"sibling beyond the directory", "entry 5000", [](Editor& e) { e.Set32(e.Entry(e.RootTree()) + 0x44, 5000); }},
    {"sibling is itself", "reached twice", [](Editor& e) { e.Set32(e.Entry(e.RootTree()) + 0x48, e.RootTree()); }},
    {"sibling is the root entry", "entry 0 is reached twice", [](Editor& e) { e.Set32(e.Entry(e.RootTree()) + 0x44, 0); }},
    {"child cycle through a storage", "reached twice",
     [](Editor& e) {
         e.bytes.at(e.Entry(4) + 0x42) = 1;             // stream 4 becomes a storage ...
         e.Set32(e.Entry(4) + 0x4C, e.RootTree());  // ... holding the root's tree
     }},
    {"DIFAT count too low", "1 DIFAT sectors", [](Editor& e) { e.Set32(0x48, 1); }, true},
    {"DIFAT start out of range", "DIFAT chain reaches", [](Editor& e) { e.Set32(0x44, 0x0FFFFFFF); }, true},
    {"DIFAT chain loops", "DIFAT", [](Editor& e) { e.Set32(e.Difat(1, 127), e.view.U32(0x44)); }, true},
    {"DIFAT chain does not end", "does not end",
     [](Editor& e) { e.Set32(e.Difat(1, 127), e.view.DifatSectors()[0]); }, true},
    {"DIFAT lists a FAT sector twice", "listed twice",
     [](Editor& e) { e.Set32(e.Difat(0, 1), e.view.U32(e.Difat(0, 0))); }, true},
    {"DIFAT entry out of range", "outside the file", [](Editor& e) { e.Set32(e.Difat(0, 2), 0x0FFFFFFF); },
     true},
};

TEST(Reader, RejectsEveryCorruptionWithItsMessage) {
    ASSERT_EQ(OpenError(BaseArchive()), "");
    ASSERT_EQ(OpenError(DifatArchive()), "");
    ASSERT_EQ(cfb_test::RawView(DifatArchive()).U32(0x48), 2u);
    for (const Corruption& c : kCorruptions) {
        Editor editor(c.difat ? DifatArchive() : BaseArchive());
        c.apply(editor);
        const std::string error = OpenError(editor.bytes);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
    }
}

}  // namespace
