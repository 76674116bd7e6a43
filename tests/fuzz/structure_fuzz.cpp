// The structure check on every file the reader opens: each finding says
// something (a refusal names its reader), and the check gives the same
// findings twice.
#include <cstdio>
#include <cstdlib>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cfb::MemorySource source(data, size);
    cfb::Reader reader;
    if (!reader.Open(source).empty()) return 0;
    const std::vector<cfb::Finding> findings = reader.CheckStructure();
    for (const cfb::Finding& finding : findings) {
        if (finding.text.empty() || finding.reader.empty() != (finding.kind != cfb::Finding::Kind::RefusedByReader)) {
            std::fprintf(stderr, "structure_fuzz: an empty finding, or a reader named where none refuses\n");
            std::abort();
        }
    }
    if (reader.CheckStructure().size() != findings.size()) {
        std::fprintf(stderr, "structure_fuzz: the check gives other findings the second time\n");
        std::abort();
    }
    return 0;
}
