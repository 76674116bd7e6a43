// Mutation fuzzing of the compound-file reader, deterministic and bounded:
// well-formed archives are damaged in the ways that matter to the format
// (flipped bits, sector numbers and sizes replaced by edge values, sectors
// copied over others, cut or lengthened files), and the reader must either
// refuse each result with a message or read it consistently. Crashes, reads
// out of bounds and leaks are caught by the sanitizer build; endless loops by
// the test's time limit.
//
// TVP_FUZZ_SECONDS bounds the run (default 20); TVP_FUZZ_SEED changes the
// sequence. A failing input is written to reader-fuzz-failure.bin.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"
#include "tests/compound_file/test_archives.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::size_t Below(std::size_t limit) { return limit == 0 ? 0 : Next() % limit; }

private:
    std::uint64_t state_;
};

// Values that sit on the edges of what sector numbers, counts and sizes mean.
const std::uint32_t kEdgeValues[] = {0,          1,          2,          3,          0x3E,
                                     0x200,      0x1000,     0x7FFFFFFF, 0x80000000, 0xFFFFFFF9,
                                     0xFFFFFFFA, 0xFFFFFFFB, 0xFFFFFFFC, 0xFFFFFFFD, 0xFFFFFFFE,
                                     0xFFFFFFFF};

void Put32(Bytes& file, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4 && offset + i < file.size(); ++i)
        file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Offsets worth aiming at: the header's fields, then anywhere.
std::size_t PickOffset(Random& random, const Bytes& file)
{
    if (random.Below(3) == 0)
        return random.Below(file.size() < 512 ? file.size() : 512) & ~std::size_t{3};
    return random.Below(file.size()) & ~std::size_t{3};
}

void Mutate(Random& random, Bytes& file)
{
    int steps = 1 + static_cast<int>(random.Below(3));
    for (int step = 0; step < steps && !file.empty(); ++step) {
        switch (random.Below(6)) {
        case 0:  // flip a bit
            file[random.Below(file.size())] ^= static_cast<std::uint8_t>(1u << random.Below(8));
            break;
        case 1:  // an edge value in a 32-bit field
            Put32(file, PickOffset(random, file), kEdgeValues[random.Below(std::size(kEdgeValues))]);
            break;
        case 2:  // a sector number just inside or outside the file
            Put32(file, PickOffset(random, file),
                  static_cast<std::uint32_t>(file.size() / 512 + random.Below(4)) - 2);
            break;
        case 3:  // one sector copied over another: chains and entries that collide
            if (file.size() >= 1024) {
                std::size_t sectors = file.size() / 512;
                std::size_t from = 512 * random.Below(sectors);
                std::size_t to = 512 * random.Below(sectors);
                std::memmove(&file[to], &file[from], 512);
            }
            break;
        case 4:  // cut the file
            file.resize(random.Below(file.size() + 1));
            break;
        default:  // lengthen it with garbage
            for (std::size_t n = random.Below(1500); n > 0; --n)
                file.push_back(static_cast<std::uint8_t>(random.Next()));
            break;
        }
    }
}

// Everything a caller of the reader may do with an archive it opened. Returns
// a description of any inconsistency.
std::string Exercise(const Bytes& file, bool* opened)
{
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    *opened = reader.Open(source).empty();
    if (!*opened)
        return "";
    for (std::size_t index = 0; index < reader.Entries().size(); ++index) {
        const cfb::Entry& entry = reader.Entries()[index];
        if (reader.Find(entry.name) < 0)
            return "an entry that Find() does not find";
        if (entry.type != cfb::EntryType::Stream)
            continue;
        std::uint64_t delivered = 0;
        std::string error = reader.ReadAll(index, [&](const std::uint8_t*, std::size_t size) {
            delivered += size;
            return true;
        }, 4096);
        if (error.empty() && delivered != entry.size)
            return "a stream read whole delivered " + std::to_string(delivered) + " of " +
                   std::to_string(entry.size) + " bytes";
        if (delivered > entry.size)
            return "a stream delivered more bytes than its size";
        std::uint8_t buffer[64];
        if (entry.size >= sizeof buffer &&
            !reader.Read(index, entry.size - sizeof buffer, buffer, sizeof buffer).empty() &&
            error.empty())
            return "the last bytes of a readable stream can't be read";
        if (reader.Read(index, entry.size, buffer, 1).empty())
            return "a read past the end of a stream succeeded";
    }
    reader.CheckStructure();
    return "";
}

std::vector<Bytes> Seeds()
{
    using cfb_test::NumberedStreams;
    return {
        cfb_test::BuildArchive({}),
        cfb_test::BuildArchive(NumberedStreams(1, {1030})),
        cfb_test::BuildArchive(NumberedStreams(7, {1024, 1088, 4095, 4096, 5000, 1536, 70000})),
        cfb_test::BuildArchive(NumberedStreams(300, {1024, 1500, 2200, 3000})),
        cfb_test::BuildArchive(NumberedStreams(2, {7500000, 1100})),  // DIFAT sectors
    };
}

unsigned long EnvironmentNumber(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoul(text, nullptr, 10) : fallback;
}

TEST(ReaderFuzz, DamagedArchivesAreRefusedOrReadConsistently)
{
    const std::vector<Bytes> seeds = Seeds();
    bool opened = false;
    for (const Bytes& seed : seeds) {
        ASSERT_EQ(Exercise(seed, &opened), "");
        ASSERT_TRUE(opened);
    }

    const auto budget = std::chrono::seconds(EnvironmentNumber("TVP_FUZZ_SECONDS", 20));
    Random random(EnvironmentNumber("TVP_FUZZ_SEED", 1));
    const auto start = std::chrono::steady_clock::now();
    unsigned long runs = 0;
    unsigned long accepted = 0;
    Bytes mutant;
    while (std::chrono::steady_clock::now() - start < budget) {
        // The large seed costs a full copy per run: take it less often.
        std::size_t pick = random.Below(seeds.size() * 4);
        const Bytes& seed = seeds[pick < seeds.size() * 4 - 1 ? pick % (seeds.size() - 1)
                                                              : seeds.size() - 1];
        mutant = seed;
        Mutate(random, mutant);
        std::string problem = Exercise(mutant, &opened);
        ++runs;
        accepted += opened ? 1 : 0;
        if (!problem.empty()) {
            std::ofstream("reader-fuzz-failure.bin", std::ios::binary)
                .write(reinterpret_cast<const char*>(mutant.data()),
                       static_cast<std::streamsize>(mutant.size()));
            FAIL() << "run " << runs << ": " << problem;
        }
    }
    std::printf("%lu damaged archives handled without a fault, %lu of them opened\n", runs,
                accepted);
    EXPECT_GT(runs, 100u);
    // Damage the reader accepts (a flipped byte inside stream data, say) must
    // be common enough that the reading paths are exercised too.
    EXPECT_GT(accepted, runs / 20);
}

}  // namespace
