// An archive opened from memory and every stream read: Open() must refuse the
// input with a message or deliver each stream whole, consistently with its
// listing. Anything else aborts, and the sanitizers catch the rest.
#include <cstdio>
#include <cstdlib>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "archive_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cfb::MemorySource source(data, size);
    cfb::Reader reader;
    if (!reader.Open(source).empty()) {
        if (!reader.Entries().empty()) Fail("a refused file lists entries");
        return 0;
    }
    for (std::size_t i = 0; i < reader.Entries().size(); ++i) {
        const cfb::Entry& entry = reader.Entries()[i];
        if (reader.Find(entry.name) != static_cast<long>(i)) Fail("Find() does not find a listed entry");
        std::uint8_t buffer[64];
        if (entry.type != cfb::EntryType::Stream) {
            if (reader.Read(i, 0, buffer, 1).empty()) Fail("a storage reads like a stream");
            continue;
        }
        std::uint64_t delivered = 0;
        const std::string error = reader.ReadAll(i, [&](const std::uint8_t*, std::size_t piece) {
            delivered += piece;
            return true;
        }, 4096);
        if (delivered > entry.size || (error.empty() && delivered != entry.size)) Fail("a stream read whole is not whole");
        if (error.empty() && entry.size >= sizeof buffer &&
            !reader.Read(i, entry.size - sizeof buffer, buffer, sizeof buffer).empty()) {
            Fail("the last bytes of a readable stream can't be read");
        }
        if (reader.Read(i, entry.size, buffer, 1).empty()) Fail("a read past the end of a stream succeeded");
    }
    return 0;
}
