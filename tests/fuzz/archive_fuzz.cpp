// An archive opened from memory, its structure checked and every stream read:
// Open() must refuse the input with a message or deliver each stream whole,
// consistently with its listing; each finding of the structure check says
// something (a refusal names its reader), and the check gives the same
// findings twice; tvpack's own opening must agree with the structure check:
// an archive in which it finds no fault extracts whole. Anything else aborts,
// and the sanitizers catch the rest.
#include <cstdio>
#include <cstdlib>

#include "cli/archive.h"
#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "archive_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t delivered = 0;  // by the reads that take everything
    const auto everything = [&delivered](const std::uint8_t*, std::size_t piece) { return delivered += piece, true; };
    cfb::MemorySource source(data, size);
    cfb::Reader reader;
    if (!reader.Open(source).empty()) {
        // A refused file leaves nothing open to read or check.
        std::uint8_t byte = 0;
        if (!reader.Entries().empty() || reader.Find(u"1") != -1 || reader.MajorVersion() != 0)
            Fail("a refused file lists entries");
        if (reader.Read(0, 0, &byte, 1).empty() || reader.ReadAll(0, everything).empty() || reader.CheckStructure().empty())
            Fail("a refused file can be read");
        return 0;
    }
    const std::vector<cfb::Finding> findings = reader.CheckStructure();
    for (const cfb::Finding& finding : findings) {
        if (finding.text.empty()) Fail("an empty finding");
        if (finding.reader.empty() != (finding.kind != cfb::Finding::Kind::RefusedByReader))
            Fail("a reader named where none refuses, or a refusal naming none");
    }
    if (reader.CheckStructure().size() != findings.size()) Fail("the check gives other findings the second time");
    if (reader.SectorSize() != (reader.MajorVersion() == 3 ? 512u : 4096u)) Fail("a sector size of another version");
    for (std::size_t i = 0; i < reader.Entries().size(); ++i) {
        const cfb::Entry& entry = reader.Entries()[i];
        if (reader.Find(entry.name) != static_cast<long>(i)) Fail("Find() does not find a listed entry");
        std::uint8_t buffer[64];
        if (entry.type != cfb::EntryType::Stream) {
            if (reader.Read(i, 0, buffer, 1).empty() || reader.ReadAll(i, everything).empty())
                Fail("a storage reads like a stream");
            continue;
        }
        delivered = 0;
        const std::string error = reader.ReadAll(i, everything, 4096);
        if (delivered > entry.size || (error.empty() && delivered != entry.size)) Fail("a stream read whole is not whole");
        if (error.empty() && entry.size >= sizeof buffer &&
            !reader.Read(i, entry.size - sizeof buffer, buffer, sizeof buffer).empty())
            Fail("the last bytes of a readable stream can't be read");
        if (reader.Read(i, entry.size, buffer, 1).empty()) Fail("a read past the end of a stream succeeded");
        if (entry.size > 0 && reader.Read(i, 0, nullptr, 1).empty()) Fail("a read into no buffer succeeded");
        int pieces = 0;
        const std::string stopped = reader.ReadAll(i, [&](const std::uint8_t*, std::size_t) { return ++pieces, false; }, 64);
        if (error.empty() && (!stopped.empty() || pieces != (entry.size > 0 ? 1 : 0))) Fail("a stopped read went on");
    }
    if (reader.Read(reader.Entries().size(), 0, nullptr, 0).empty()) Fail("an element past the listing reads");

    bool fault = false;
    for (const cfb::Finding& finding : reader.CheckStructure()) fault = fault || finding.kind == cfb::Finding::Kind::Fault;
    ModArchive archive;
    const bool accepted = archive.Open(std::make_unique<cfb::MemorySource>(data, size)).empty();
    if (!archive.Readable() || accepted != archive.Faults().empty()) Fail("tvpack's opening disagrees with the reader");
    if (fault && accepted) Fail("tvpack accepts an archive with a structure fault");
    if (!accepted && !archive.Files().empty()) Fail("an archive with faults lists files to extract");
    if (!accepted) return 0;
    if (archive.Files().size() != archive.Streams().size()) Fail("an accepted archive leaves streams out");
    for (const LayoutFile& file : archive.Files()) {
        delivered = 0;
        const std::u16string error = archive.ReadContent(*file.stream, everything);
        if (!error.empty() || delivered != file.stream->size - kHeaderBytes) Fail("an accepted archive does not extract whole");
    }
    return 0;
}
