// Archives written by our component, read back by independent readers on
// the host: olefile (strictest defect level), 7-Zip (test and extract), gsf
// (list and cat) and our own reader. Each must see exactly the streams
// written, with the same bytes.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"
#include "tests/compound_file/layout_check.h"
#include "tests/compound_file/test_archives.h"

#ifndef CFB_TEST_SOURCE_DIR
#error CFB_TEST_SOURCE_DIR must name this folder
#endif

namespace {

namespace fs = std::filesystem;
using Streams = std::vector<cfb_test::TestStream>;

struct Output {
    int status;
    std::string text;
};

Output RunCommand(const std::string& command) {
    Output out{-1, std::string()};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, got);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares the files of `dir` (names and contents) with `streams`.
std::string CompareFolder(const fs::path& dir, const Streams& streams) {
    std::map<std::string, const cfb_test::TestStream*> expected;
    for (const cfb_test::TestStream& s : streams) expected[cfb_test::Narrow(s.name)] = &s;
    std::size_t found = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const auto it = expected.find(name);
        if (it == expected.end()) return "unexpected file " + name;
        if (ReadFile(entry.path()) != it->second->bytes) return "different bytes in " + name;
        ++found;
    }
    if (found != streams.size()) {
        return std::to_string(found) + " files instead of " + std::to_string(streams.size());
    }
    return std::string();
}

class Oracles : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"/usr/bin/python3 -c 'import olefile'", "7zz i", "gsf --help"}) {
            const Output out = RunCommand(std::string(tool) + " >/dev/null");
            if (out.status != 0) missing_ += std::string(tool) + "; ";
        }
    }

    void SetUp() override {
        ASSERT_EQ(missing_, "") << "oracle tools missing (install python3-olefile, 7zip, libgsf-bin)";
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("cfb-oracles-") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }

    fs::path WriteArchive(const Streams& streams, const std::string& name) {
        const fs::path path = dir_ / name;
        cfb::Error error;
        cfb::Writer writer(cfb::CreateFileSink(path.string(), cfb::CreateMode::New, error));
        EXPECT_EQ(error, cfb::Error::None);
        EXPECT_EQ(writer.Start(), cfb::Error::None);
        for (const cfb_test::TestStream& s : streams) {
            EXPECT_EQ(writer.CreateStream(s.name), cfb::Error::None);
            // As the packer writes: a 1024-byte header, then the rest.
            const std::size_t head = std::min<std::size_t>(1024, s.bytes.size());
            EXPECT_EQ(writer.Write(s.bytes.data(), static_cast<std::uint32_t>(head)), cfb::Error::None);
            EXPECT_EQ(writer.Write(s.bytes.data() + head, static_cast<std::uint32_t>(s.bytes.size() - head)),
                      cfb::Error::None);
            EXPECT_EQ(writer.CloseStream(), cfb::Error::None);
        }
        EXPECT_EQ(writer.Finish(), cfb::Error::None);
        return path;
    }

    // Every oracle's verdict on `archive`; empty when all agree with `streams`.
    std::string CheckAll(const fs::path& archive, const Streams& streams, std::size_t gsfCatLimit = 200) {
        std::string problems;
        const std::vector<std::uint8_t> bytes = ReadFile(archive);
        if (std::string e = cfb_test::CompareWithReader(bytes, streams); !e.empty()) problems += "reader: " + e + "\n";
        if (std::string e = cfb_test::CheckLayout(bytes); !e.empty()) problems += "layout: " + e + "\n";

        const fs::path olefileOut = dir_ / (archive.filename().string() + ".olefile");
        fs::create_directories(olefileOut);
        const Output ole = RunCommand("/usr/bin/python3 " CFB_TEST_SOURCE_DIR "/olefile_dump.py " + Quote(archive) + " " +
                               Quote(olefileOut));
        if (ole.status != 0) {
            problems += "olefile: " + ole.text + "\n";
        } else if (std::string e = CompareFolder(olefileOut, streams); !e.empty()) {
            problems += "olefile: " + e + "\n";
        }

        const Output test = RunCommand("7zz t " + Quote(archive));
        if (test.status != 0 || test.text.find("Everything is Ok") == std::string::npos) {
            problems += "7zz t: " + test.text + "\n";
        }
        const fs::path sevenOut = dir_ / (archive.filename().string() + ".7z");
        const Output extract = RunCommand("7zz x -y -o" + Quote(sevenOut) + " " + Quote(archive));
        if (extract.status != 0) {
            problems += "7zz x: " + extract.text + "\n";
        } else if (!streams.empty() || fs::exists(sevenOut)) {
            if (std::string e = CompareFolder(sevenOut, streams); !e.empty()) problems += "7zz x: " + e + "\n";
        }

        problems += CheckGsf(archive, streams, gsfCatLimit);
        return problems;
    }

    // gsf list: every name with its size; gsf cat: the bytes of up to `catLimit` streams.
    std::string CheckGsf(const fs::path& archive, const Streams& streams, std::size_t catLimit) {
        const Output list = RunCommand("gsf list " + Quote(archive));
        if (list.status != 0) return "gsf list: " + list.text + "\n";
        std::map<std::string, std::uint64_t> listed;
        std::istringstream lines(list.text);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string kind, name;
            std::uint64_t size = 0;
            // gsf shows an empty root storage as a file named *root*.
            if (fields >> kind >> size >> name && kind == "f" && name != "*root*") listed[name] = size;
        }
        if (listed.size() != streams.size()) {
            return "gsf list: " + std::to_string(listed.size()) + " streams instead of " +
                   std::to_string(streams.size()) + "\n";
        }
        for (std::size_t i = 0; i < streams.size(); ++i) {
            const std::string name = cfb_test::Narrow(streams[i].name);
            const auto it = listed.find(name);
            if (it == listed.end() || it->second != streams[i].bytes.size()) return "gsf list: wrong " + name + "\n";
            if (i % std::max<std::size_t>(1, streams.size() / catLimit) != 0) continue;
            const fs::path out = dir_ / "gsf-cat.bin";
            const Output cat = RunCommand("gsf cat " + Quote(archive) + " '" + name + "' > " + Quote(out));
            if (cat.status != 0 || ReadFile(out) != streams[i].bytes) return "gsf cat: " + name + " differs\n";
        }
        return std::string();
    }

    static std::string missing_;
    fs::path dir_;
};

std::string Oracles::missing_;

TEST_F(Oracles, BoundarySizes) {
    Streams streams;
    const std::size_t sizes[] = {0, 1, 63, 64, 65, 511, 512, 513, 1024, 4095, 4096, 4097, 8192, 100000};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        streams.push_back({cfb_test::Utf16(std::to_string(i + 1)), cfb_test::Pattern(sizes[i], static_cast<std::uint32_t>(i))});
    }
    EXPECT_EQ(CheckAll(WriteArchive(streams, "boundaries.tvp"), streams), "");
}

// The harness itself: changed bytes or a broken chain must be noticed.
TEST_F(Oracles, NoticeDamage) {
    const Streams streams = {{u"1", cfb_test::Pattern(9000, 1)}, {u"2", cfb_test::Pattern(700, 2)}};
    const fs::path archive = WriteArchive(streams, "damaged.tvp");
    ASSERT_EQ(CheckAll(archive, streams), "");
    Streams altered = streams;
    altered[0].bytes[5000] ^= 1;
    altered[1].bytes[10] ^= 1;
    const std::string changed = CheckAll(archive, altered);
    for (const char* oracle : {"reader:", "olefile:", "7zz x:", "gsf cat:"}) {
        EXPECT_NE(changed.find(oracle), std::string::npos) << oracle << " did not notice\n" << changed;
    }
    // Stream "1" starts at sector 0; make its chain end after one sector.
    std::vector<std::uint8_t> bytes = ReadFile(archive);
    const std::uint32_t fatSector = bytes[0x4C] | (bytes[0x4D] << 8);
    bytes[(fatSector + 1) * 512 + 0] = 0xFE;
    for (int i = 1; i < 4; ++i) bytes[(fatSector + 1) * 512 + i] = 0xFF;
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const std::string broken = CheckAll(archive, streams);
    for (const char* oracle : {"reader:", "olefile:", "7zz t:"}) {
        EXPECT_NE(broken.find(oracle), std::string::npos) << oracle << " did not notice\n" << broken;
    }
}

TEST_F(Oracles, EmptyArchive) { EXPECT_EQ(CheckAll(WriteArchive({}, "empty.tvp"), {}), ""); }

TEST_F(Oracles, ArchiveWithDifatSectors) {
    // 16 MiB of large streams and a few hundred small ones: two DIFAT sectors,
    // and a mini stream spread between the large streams.
    Streams streams;
    for (std::size_t i = 0; i < 400; ++i) {
        const std::size_t size = i % 100 == 0 ? (4u << 20) + i : 1024 + (i * 37) % 3000;
        streams.push_back({cfb_test::Utf16(std::to_string(i + 1)), cfb_test::Pattern(size, static_cast<std::uint32_t>(i))});
    }
    const fs::path archive = WriteArchive(streams, "difat.tvp");
    const std::vector<std::uint8_t> head = ReadFile(archive);
    ASSERT_GE(head.size(), 512u);
    EXPECT_EQ(head[0x48], 2) << "expected two DIFAT sectors";
    EXPECT_EQ(CheckAll(archive, streams, 40), "");
}

TEST_F(Oracles, ThousandsOfSmallStreams) {
    Streams streams;
    for (std::size_t i = 0; i < 3000; ++i) {
        streams.push_back({cfb_test::Utf16(std::to_string(i + 1)),
                           cfb_test::Pattern(1024 + (i * 131) % 6000, static_cast<std::uint32_t>(i))});
    }
    EXPECT_EQ(CheckAll(WriteArchive(streams, "many.tvp"), streams, 30), "");
}

// Random sets of streams: names of mixed case and length, sizes clustered
// around the format's boundaries. Seeded, so every run checks the same sets.
TEST_F(Oracles, RandomArchives) {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    const std::size_t anchors[] = {0, 64, 512, 4095, 4096, 20000};
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        std::mt19937 random(seed);
        Streams streams;
        std::set<std::string> folded;
        const std::size_t count = 1 + random() % 150;
        while (streams.size() < count) {
            std::string name;
            const std::size_t length = 1 + random() % 31;
            for (std::size_t i = 0; i < length; ++i) name += alphabet[random() % (sizeof alphabet - 1)];
            std::string upper = name;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!folded.insert(upper).second) continue;
            std::size_t size = anchors[random() % std::size(anchors)];
            const int jitter = static_cast<int>(random() % 5) - 2;
            size = static_cast<std::size_t>(std::max<long>(0, static_cast<long>(size) + jitter));
            if (random() % 8 == 0) size = random() % 300000;
            streams.push_back({cfb_test::Utf16(name), cfb_test::Pattern(size, seed * 1000 + static_cast<std::uint32_t>(streams.size()))});
        }
        EXPECT_EQ(CheckAll(WriteArchive(streams, "random" + std::to_string(seed) + ".tvp"), streams, 40), "")
            << "seed " << seed;
    }
}

}  // namespace
