// Archives written by our component, read back by independent readers on
// the host: olefile (strictest defect level), 7-Zip (test and extract), gsf
// (list and cat) and our own reader. Each must see exactly the streams
// written, with the same bytes.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <utility>

#include "tests/compound_file/test_archives.h"

#ifndef CFB_TEST_SOURCE_DIR
#error CFB_TEST_SOURCE_DIR must name this folder
#endif

namespace {

namespace fs = std::filesystem;
using Streams = std::vector<cfb_test::TestStream>;

int Shell(const std::string& command) {
    const int status = std::system(("{ " + command + "; } >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class Oracles : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"/usr/bin/python3 -c 'import olefile'", "7zz i", "gsf --help"}) {
            ASSERT_EQ(Shell(tool), 0) << tool << ": oracle tools missing (install python3-olefile, 7zip, libgsf-bin)";
        }
        dir_ = fs::temp_directory_path() /
               (std::string("cfb-oracles-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }

    fs::path WriteArchive(const Streams& streams, const std::string& name) {
        WriteFile(dir_ / name, cfb_test::BuildArchive(streams));
        return dir_ / name;
    }

    // The oracles that disagree with `streams` about `archive`: our reader and
    // layout check, olefile, 7-Zip (test, and extract compared file by file)
    // and gsf (the number of streams listed, and up to 40 streams' bytes).
    std::string CheckAll(const fs::path& archive, const Streams& streams) {
        std::string problems;
        const std::vector<std::uint8_t> bytes = cfb_test::ReadFile(archive);
        if (std::string e = cfb_test::CompareWithReader(bytes, streams); !e.empty()) problems += "reader: " + e + "\n";
        if (std::string e = cfb_test::CheckLayout(bytes); !e.empty()) problems += "layout: " + e + "\n";
        const std::string a = "'" + archive.string() + "'", base = "'" + archive.string();
        const std::string expected = base + ".expected'";
        fs::remove_all(archive.string() + ".expected");
        fs::create_directories(archive.string() + ".expected");
        for (const cfb_test::TestStream& s : streams) {
            WriteFile(archive.string() + ".expected/" + cfb_test::Narrow(s.name), s.bytes);
        }
        std::string gsf = "test \"$(gsf list " + a + " | awk '$1 == \"f\" && $3 != \"*root*\"' | wc -l)\" = " +
                          std::to_string(streams.size());
        for (std::size_t i = 0; i < streams.size(); i += std::max<std::size_t>(1, streams.size() / 40)) {
            const std::string name = cfb_test::Narrow(streams[i].name);
            gsf += " && gsf cat " + a + " " + name + " | cmp -s - " + base + ".expected/" + name + "'";
        }
        const std::pair<const char*, std::string> oracles[] = {
            {"olefile", "mkdir -p " + base + ".ole' && /usr/bin/python3 " CFB_TEST_SOURCE_DIR "/olefile_dump.py " + a +
                            " " + base + ".ole' && diff -r " + expected + " " + base + ".ole'"},
            {"7zz t", "7zz t " + a + " | grep -q 'Everything is Ok'"},
            {"7zz x", "mkdir -p " + base + ".7z' && 7zz x -y -o" + base + ".7z' " + a + " && diff -r " + expected + " " +
                          base + ".7z'"},
            {"gsf", gsf}};
        for (const auto& [oracle, command] : oracles) {
            if (Shell(command) != 0) problems += std::string(oracle) + ": disagrees (" + command + ")\n";
        }
        return problems;
    }

    fs::path dir_;
};

// Sizes below and around the format's boundaries, an empty archive, and
// random sets of names of mixed case and length with sizes clustered around
// the boundaries (seeded, so every run checks the same sets).
TEST_F(Oracles, ArchivesReadExactlyAsWritten) {
    std::vector<std::pair<std::string, Streams>> cases = {
        {"boundaries", cfb_test::NumberedStreams(14, {0, 1, 63, 64, 65, 511, 512, 513, 1024, 4095, 4096, 4097, 8192, 100000})},
        {"empty", {}}};
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    const std::size_t anchors[] = {0, 64, 512, 4095, 4096, 20000};
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        Streams streams;
        std::set<std::string> folded;
        for (const std::size_t count = 1 + random() % 150; streams.size() < count;) {
            std::string name(1 + random() % 31, ' ');
            for (char& c : name) c = alphabet[random() % (sizeof alphabet - 1)];
            std::string upper = name;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!folded.insert(upper).second) continue;
            std::size_t size = std::max<long>(0, static_cast<long>(anchors[random() % 6]) + static_cast<long>(random() % 5) - 2);
            if (random() % 8 == 0) size = random() % 300000;
            streams.push_back({cfb_test::Utf16(name), cfb_test::Pattern(size, seed * 1000 + static_cast<std::uint32_t>(streams.size()))});
        }
        cases.push_back({"random" + std::to_string(seed), streams});
    }
    for (const auto& [name, streams] : cases) {
        EXPECT_EQ(CheckAll(WriteArchive(streams, name + ".tvp"), streams), "") << name;
    }
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
    for (const char* oracle : {"reader:", "olefile:", "7zz x:", "gsf:"}) {
        EXPECT_NE(changed.find(oracle), std::string::npos) << oracle << " did not notice\n" << changed;
    }
    // Stream "1" starts at sector 0; make its chain end after one sector.
    std::vector<std::uint8_t> bytes = cfb_test::ReadFile(archive);
    const std::uint32_t fatSector = bytes[0x4C] | (bytes[0x4D] << 8);
    for (int i = 0; i < 4; ++i) bytes[(fatSector + 1) * 512 + i] = i == 0 ? 0xFE : 0xFF;
    WriteFile(archive, bytes);
    const std::string broken = CheckAll(archive, streams);
    for (const char* oracle : {"reader:", "olefile:", "7zz t:"}) {
        EXPECT_NE(broken.find(oracle), std::string::npos) << oracle << " did not notice\n" << broken;
    }
}

}  // namespace
