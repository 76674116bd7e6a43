#include "cli/stream_hash.h"

#include "cli/sha256.h"

std::u16string HashStreamContent(const ModArchive& archive, const ArchiveStream& stream, std::u16string* digest)
{
    Sha256 hash;
    std::u16string problem = archive.ReadContent(
        stream, [&](const std::uint8_t* data, std::size_t size) { return hash.Update(data, size); });
    if (!problem.empty())
        return problem;
    *digest = hash.Finish();
    return digest->empty() ? u"the system's SHA-256 failed" : std::u16string();
}
