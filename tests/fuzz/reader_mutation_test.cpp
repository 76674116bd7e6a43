// Mutation fuzzing of the archive reader, deterministic and bounded: good
// archives damaged where the format is fragile (flipped bits, sector numbers
// and sizes set to edge values, sectors copied over others, cut or lengthened
// files). The reader must refuse each with a message or read it consistently;
// the sanitizer tree catches crashes and reads out of bounds, the time limit
// endless loops. TVP_FUZZ_SECONDS bounds the run (default 20), TVP_FUZZ_SEED
// picks the sequence; a failing input is kept in reader-fuzz-failure.bin.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tests/compound_file/archives.h"

namespace {

using namespace cfb_test;

const std::uint32_t kEdges[] = {0, 1, 2, 0x3E, 0x200, 0x1000, 0x7FFFFFFF, 0x80000000,
                                0xFFFFFFFA, 0xFFFFFFFB, 0xFFFFFFFC, 0xFFFFFFFD, 0xFFFFFFFE, 0xFFFFFFFF};

void Mutate(std::mt19937_64& random, Bytes& file) {
    auto below = [&](std::size_t limit) { return limit == 0 ? 0 : static_cast<std::size_t>(random() % limit); };
    auto put = [&](std::uint32_t value) {  // into a header field one time in three, else anywhere
        const std::size_t at = below(random() % 3 == 0 ? std::min<std::size_t>(file.size(), 512) : file.size()) & ~3u;
        for (std::size_t i = 0; i < 4 && at + i < file.size(); ++i) file[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    };
    for (int steps = 1 + static_cast<int>(below(3)); steps > 0 && !file.empty(); --steps) {
        switch (below(6)) {
        case 0: file[below(file.size())] ^= static_cast<std::uint8_t>(1u << below(8)); break;
        case 1: put(kEdges[below(std::size(kEdges))]); break;
        case 2: put(static_cast<std::uint32_t>(file.size() / 512 + below(4)) - 2); break;  // at the file's end
        case 3: std::memmove(&file[512 * below(file.size() / 512)], &file[512 * below(file.size() / 512)],
                             file.size() >= 512 ? 512 : 0); break;
        case 4: file.resize(below(file.size() + 1)); break;
        default: for (std::size_t n = below(1500); n > 0; --n) file.push_back(static_cast<std::uint8_t>(random()));
        }
    }
}

// Everything a caller may do with an archive the reader opened; what is
// inconsistent about it.
std::string Exercise(const Bytes& file, bool& opened) {
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    if (!(opened = reader.Open(source).empty())) return "";
    for (std::size_t i = 0; i < reader.Entries().size(); ++i) {
        const cfb::Entry& entry = reader.Entries()[i];
        if (reader.Find(entry.name) < 0) return "an entry that Find() does not find";
        if (entry.type != cfb::EntryType::Stream) continue;
        std::uint64_t delivered = 0;
        const std::string error = reader.ReadAll(i, [&](const std::uint8_t*, std::size_t size) {
            return delivered += size, true;
        }, 4096);
        if (delivered > entry.size || (error.empty() && delivered != entry.size)) return "a stream read whole delivered " +
            std::to_string(delivered) + " of " + std::to_string(entry.size) + " bytes";
        std::uint8_t buffer[64];
        if (error.empty() && entry.size >= 64 && !reader.Read(i, entry.size - 64, buffer, 64).empty()) {
            return "the last bytes of a readable stream can't be read";
        }
        if (reader.Read(i, entry.size, buffer, 1).empty()) return "a read past the end of a stream succeeded";
    }
    reader.CheckStructure();
    return "";
}

TEST(ReaderFuzz, DamagedArchivesAreRefusedOrReadConsistently) {
    auto Setting = [](const char* name, unsigned long fallback) {
        return std::getenv(name) ? std::strtoul(std::getenv(name), nullptr, 10) : fallback;
    };
    Streams many = RandomStreams(8);  // 124 entries, cut short to keep each run quick
    for (Stream& s : many) s.bytes.resize(std::min<std::size_t>(s.bytes.size(), 3000));
    std::vector<Bytes> seeds = {Build({}), Build(RandomStreams(1)), Build(RandomStreams(6)), Build(many)};
    seeds.push_back(Build({{u"1", Pattern(7500000, 1)}, {u"2", Pattern(1100, 2)}}));  // DIFAT sectors, used rarely
    std::mt19937_64 random(Setting("TVP_FUZZ_SEED", 1));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(Setting("TVP_FUZZ_SECONDS", 20));
    unsigned long runs = 0, accepted = 0;
    Bytes mutant;  // one buffer for all runs: fresh memory each time would cost more than the reading
    for (bool opened = false; std::chrono::steady_clock::now() < end; ++runs, accepted += opened) {
        const std::size_t pick = random() % (4 * seeds.size());
        mutant = seeds[pick + 1 < 4 * seeds.size() ? pick % (seeds.size() - 1) : seeds.size() - 1];
        Mutate(random, mutant);
        if (const std::string problem = Exercise(mutant, opened); !problem.empty()) {
            std::ofstream("reader-fuzz-failure.bin", std::ios::binary).write(reinterpret_cast<const char*>(mutant.data()),
                                                                             static_cast<std::streamsize>(mutant.size()));
            FAIL() << "run " << runs << ": " << problem;
        }
    }
    std::printf("%lu damaged archives handled, %lu of them opened\n", runs, accepted);
    EXPECT_GT(runs, 100u);
    EXPECT_GT(accepted, runs / 20);  // the reading paths get exercised too
}

}  // namespace
