// The reader on crafted damage: each must be refused by Open() (or, where
// reading could go on, reported by CheckStructure()) with its message; what
// CheckStructure() calls a writer's choice is marked so in the message.
#include <functional>

#include "tests/compound_file/archives.h"

namespace {

using namespace cfb_test;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;

// Where the fields of an archive of ours live, found by following its FAT.
struct Editor {
    Bytes b;
    std::uint32_t U(std::size_t at) const { return U32(b, at); }
    void Set(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> 8 * i);
    }
    void Set16(std::size_t at, char16_t v) { b.at(at) = v & 0xFF, b.at(at + 1) = static_cast<std::uint8_t>(v >> 8); }
    std::size_t Fat(std::uint32_t sector) const { return (U(0x4C + sector / 128 * 4) + 1) * 512 + sector % 128 * 4; }
    std::vector<std::uint32_t> Chain(std::uint32_t s) const {
        std::vector<std::uint32_t> chain;
        for (; s != kEnd; s = U(Fat(s))) chain.push_back(s);
        return chain;
    }
    std::size_t Entry(std::uint32_t id) const { return (Chain(U(0x30)).at(id / 4) + 1) * 512 + id % 4 * 128; }
    std::uint32_t Start(std::uint32_t id) const { return U(Entry(id) + 0x74); }
    std::size_t MiniFat(std::uint32_t mini) const { return (U(0x3C) + 1) * 512 + mini * 4; }
    std::size_t Difat(std::uint32_t sector, std::uint32_t slot) const {
        return (sector == 0 ? U(0x44) : U((U(0x44) + 1) * 512 + 508)) * 512 + 512 + slot * 4;
    }
    // Stream 9's last sector moves to the end of the file, then the file is
    // cut `cut` bytes short: 32 bytes of the stream are in that sector.
    void CutAfterStream9(std::size_t cut) {
        const std::vector<std::uint32_t> chain = Chain(Start(9));
        const auto moved = static_cast<std::uint32_t>(b.size() / 512 - 1);
        b.insert(b.end(), &b[(chain.back() + 1) * 512], &b[(chain.back() + 2) * 512]);
        Set(Fat(chain[chain.size() - 2]), moved), Set(Fat(moved), kEnd), Set(Fat(chain.back()), 0xFFFFFFFF);
        b.resize(b.size() - cut);
    }
    // Stream 9's last sector leads on into the chain from `start`; its size grows to match.
    void Into(std::uint32_t start) {
        const auto added = static_cast<std::uint32_t>(Chain(start).size());
        Set(Fat(Chain(Start(9)).back()), start);
        Set(Entry(9) + 0x78, 20000 + 512 * added);
    }
};

// Stream n of the first archive is entry n: 9 is large (20000 bytes), 5 in
// the mini stream. The second needs two DIFAT sectors.
const std::vector<std::size_t> kSizes = {0, 10, 100, 700, 3000, 4095, 4096, 5000, 20000, 64, 1, 9000};
const struct Damage {
    const char* what;
    const char* message;
    std::function<void(Editor&)> apply;
    bool difat = false;
} kDamage[] = {
    {"signature", "wrong signature", [](Editor& e) { e.b[3] ^= 0xFF; }},
    {"byte order", "byte order", [](Editor& e) { e.Set16(0x1C, 0xFEFF); }},
    {"major version 2", "unsupported major version 2", [](Editor& e) { e.Set16(0x1A, 2); }},
    {"sector shift 12 in version 3", "does not match major version 3", [](Editor& e) { e.Set16(0x1E, 12); }},
    {"mini sector shift", "mini sector shift", [](Editor& e) { e.Set16(0x20, 7); }},
    {"mini stream cutoff", "cutoff is not 4096", [](Editor& e) { e.Set(0x38, 4095); }},
    {"minor version", "refused by 7-Zip: header: minor version is 0x003B, not 0x003E", [](Editor& e) { e.Set16(0x18, 0x3B); }},
    {"header CLSID", "refused by olefile at its strict level: header: CLSID", [](Editor& e) { e.b[0x10] = 1; }},
    {"colour 2", "refused by 7-Zip: directory entry 3 has colour 2", [](Editor& e) { e.b.at(e.Entry(3) + 0x43) = 2; }},
    {"unused entry with links", "refused by 7-Zip: directory entry 13 is unused but links", [](Editor& e) { e.Set(e.Entry(13) + 0x48, 3); }},
    {"sector allocated, unused", "refused by 7-Zip: sector 98 is allocated in the FAT but no chain uses it",
     [](Editor& e) { e.b.resize(e.b.size() + 512), e.Set(e.Fat(e.b.size() / 512 - 2), 0xFFFFFFFD); }},
    {"mini stream shorter than its streams", "fault: the root entry's size ends the mini stream 3 bytes before",
     [](Editor& e) { e.Set(e.Entry(11) + 0x78, 64), e.Set(e.Entry(0) + 0x78, e.U(e.Entry(0) + 0x78) - 3); }},
    {"a stream with a child", "fault: directory entry 3 is a stream with a child link", [](Editor& e) { e.Set(e.Entry(3) + 0x4C, 3); }},
    {"the root with a sibling", "fault: the root entry has sibling links", [](Editor& e) { e.Set(e.Entry(0) + 0x48, 4); }},
    {"an empty stream with a start", "fault: directory entry 1 is an empty stream", [](Editor& e) { e.Set(e.Entry(1) + 0x74, 0); }},
    {"root not black", "writer's choice: the tree of directory entry 0: the root node is not black",
     [](Editor& e) { e.b.at(e.Entry(e.U(e.Entry(0) + 0x4C)) + 0x43) = 0; }},
    {"unused entry of zeros", "writer's choice: directory entry 13 is unused but not blank",
     [](Editor& e) { e.Set(e.Entry(13) + 0x44, 0), e.Set(e.Entry(13) + 0x48, 0), e.Set(e.Entry(13) + 0x4C, 0); }},
    {"no DIFAT, first sector FREESECT", "writer's choice: header: first DIFAT sector is FREESECT", [](Editor& e) { e.Set(0x44, 0xFFFFFFFF); }},
    {"no DIFAT, first sector points into the file", "fault: header: first DIFAT sector is sector 3", [](Editor& e) { e.Set(0x44, 3); }},
    {"a stream no tree reaches", "fault: directory entry 13 has type 2 but is not in any tree", [](Editor& e) { e.b.at(e.Entry(13) + 0x42) = 2; }},
    {"a short last sector", "writer's choice: the last sector is short: the file ends 100 bytes before its end",
     [](Editor& e) { e.CutAfterStream9(100); }},
    {"a short last sector cuts a stream", "stream entry 9: its last sector ends 20 bytes past the end of the file",
     [](Editor& e) { e.CutAfterStream9(500); }},
    {"reserved bytes", "reserved", [](Editor& e) { e.b[0x24] = 1; }},
    {"directory sector count", "directory sector count", [](Editor& e) { e.Set(0x28, 1); }},
    {"no FAT sectors", "no FAT sectors", [](Editor& e) { e.Set(0x2C, 0); }},
    {"more FAT sectors than the file", "4294967280 FAT sectors", [](Editor& e) { e.Set(0x2C, 0xFFFFFFF0u); }},
    {"DIFAT count without need", "DIFAT sectors", [](Editor& e) { e.Set(0x48, 3); }},
    {"FAT sector past the sectors its FAT describes", "beyond the sectors the FAT describes",
     [](Editor& e) { e.b.resize(e.b.size() + 200 * 512), e.Set(0x4C, 150); }},
    {"a FAT sector not marked", "fault: sector 97 holds the FAT but is not marked FATSECT", [](Editor& e) { e.Set(e.Fat(e.U(0x4C)), 0xFFFFFFFF); }},
    {"no directory", "no directory", [](Editor& e) { e.Set(0x30, kEnd); }},
    {"directory chain loops", "the directory: sector", [](Editor& e) { e.Set(e.Fat(e.Chain(e.U(0x30)).back()), e.U(0x30)); }},
    {"stream chain loops", "already in use", [](Editor& e) { e.Set(e.Fat(e.Chain(e.Start(9))[2]), e.Chain(e.Start(9))[2]); }},
    {"stream chain into the directory", "stream entry 9: sector", [](Editor& e) { e.Into(e.U(0x30)); }},
    {"stream chain into the mini stream", "stream entry 9: sector", [](Editor& e) { e.Into(e.Start(0)); }},
    {"stream chain into the mini FAT", "stream entry 9: sector", [](Editor& e) { e.Into(e.U(0x3C)); }},
    {"chain shorter than the size", "ends after 6 sectors", [](Editor& e) { e.Set(e.Fat(e.Chain(e.Start(9))[5]), kEnd); }},
    {"chain longer than the size", "longer than its size needs", [](Editor& e) { e.Set(e.Fat(e.Chain(e.Start(9)).back()), e.Start(12)); }},
    {"chain into a special value", "a special value", [](Editor& e) { e.Set(e.Fat(e.Chain(e.Start(9))[3]), 0xFFFFFFFF); }},
    {"mini FAT count too high", "the mini FAT", [](Editor& e) { e.Set(0x40, 5); }},
    {"mini chain loops", "(in the mini stream)", [](Editor& e) { e.Set(e.MiniFat(e.Start(5) + 3), e.Start(5)); }},
    {"name not terminated", "not terminated", [](Editor& e) { e.Set16(e.Entry(3) + 2, u'x'); }},
    {"name with a slash", "invalid name", [](Editor& e) { e.Set16(e.Entry(3), u'/'); }},
    {"two entries with one name", "same name", [](Editor& e) { e.Set16(e.Entry(3), u'2'); }},
    {"names out of order", "fault: the tree of directory entry 0 is not in name order",
     [](Editor& e) { std::swap_ranges(&e.b[e.Entry(9)], &e.b[e.Entry(9) + 0x42], &e.b[e.Entry(10)]); }},
    {"root is not a root", "not the root", [](Editor& e) { e.b.at(e.Entry(0) + 0x42) = 1; }},
    {"unknown type in the tree", "type 7", [](Editor& e) { e.b.at(e.Entry(4) + 0x42) = 7; }},
    {"sibling beyond the directory", "entry 5000", [](Editor& e) { e.Set(e.Entry(e.U(e.Entry(0) + 0x4C)) + 0x44, 5000); }},
    {"child cycle through a storage", "reached twice",
     [](Editor& e) {
         e.b.at(e.Entry(4) + 0x42) = 1;                       // stream 4 becomes a storage ...
         e.Set(e.Entry(4) + 0x4C, e.U(e.Entry(0) + 0x4C));  // ... holding the root's tree
     }},
    {"DIFAT start out of range", "DIFAT chain reaches", [](Editor& e) { e.Set(0x44, 0x0FFFFFFF); }, true},
    {"DIFAT chain does not end", "does not end", [](Editor& e) { e.Set(e.Difat(1, 127), e.U(0x44)); }, true},
    {"DIFAT lists a FAT sector twice", "listed twice", [](Editor& e) { e.Set(e.Difat(0, 1), e.U(e.Difat(0, 0))); }, true},
    {"DIFAT slot after the FAT in use", "fault: DIFAT sector", [](Editor& e) { e.Set(e.Difat(1, 126), kEnd); }, true},
};

TEST(Reader, RefusesDamageWithItsMessage) {
    Streams numbered;
    for (std::size_t n = 1; n <= kSizes.size(); ++n)
        numbered.push_back({Widen(std::to_string(n)), Pattern(kSizes[n - 1], static_cast<std::uint32_t>(n))});
    const Bytes base = Build(numbered), difat = Build({{u"1", Pattern(16u << 20, 4)}});
    ASSERT_EQ(ReadBack(base, numbered), "");
    ASSERT_EQ(U32(difat, 0x48), 2u);
    for (const Damage& d : kDamage) {
        Editor editor{d.difat ? difat : base};
        d.apply(editor);
        cfb::MemorySource source(editor.b.data(), editor.b.size());
        cfb::Reader reader;
        std::string message = reader.Open(source);
        for (const cfb::Finding& finding : message.empty() ? reader.CheckStructure() : std::vector<cfb::Finding>()) {
            const bool fault = finding.kind == cfb::Finding::Kind::Fault, choice = finding.kind == cfb::Finding::Kind::WritersChoice;
            message += (fault ? "fault: " : choice ? "writer's choice: " : "refused by " + finding.reader + ": ") + finding.text + "; ";
        }
        EXPECT_NE(message.find(d.message), std::string::npos) << d.what << ": " << message;
    }
}

}  // namespace
