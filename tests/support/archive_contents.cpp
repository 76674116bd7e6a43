#include "tests/support/archive_contents.h"

#include <algorithm>
#include <cstring>

#include "platform/compound_file/reader.h"

namespace {

// Test archives are small: read them whole and serve reads from memory.
class MemorySource final : public cfb::ReadSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override
    {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            return false;
        std::memcpy(data, bytes_.data() + offset, size);
        return true;
    }

private:
    std::string bytes_;
};

bool NumberOrder(const ArchiveStream& a, const ArchiveStream& b)
{
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
}

}  // namespace

std::vector<ArchiveStream> ReadArchiveStreams(const fs::path& archive, std::string* error)
{
    MemorySource source(ReadBytes(archive));
    cfb::Reader reader;
    *error = reader.Open(source);
    if (!error->empty())
        return {};
    std::vector<ArchiveStream> streams;
    const std::vector<cfb::Entry>& entries = reader.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ArchiveStream stream;
        stream.name = ToUtf8(Text(entries[i].name.begin(), entries[i].name.end()));
        if (entries[i].type != cfb::EntryType::Stream) {
            *error = "unexpected storage " + stream.name;
            return {};
        }
        *error = reader.ReadAll(i, [&stream](const std::uint8_t* data, std::size_t size) {
            stream.bytes.append(reinterpret_cast<const char*>(data), size);
            return true;
        });
        if (!error->empty())
            return {};
        streams.push_back(std::move(stream));
    }
    std::vector<std::string> problems = reader.CheckStructure();
    for (const std::string& problem : problems)
        *error += problem + "\n";
    std::sort(streams.begin(), streams.end(), NumberOrder);
    return streams;
}

std::string ExpectedStream(const Text& headerPath, const std::string& fileBytes)
{
    std::string stream(1024, '\0');
    for (std::size_t i = 0; i < headerPath.size() && i < 512; ++i) {
        stream[2 * i] = static_cast<char>(headerPath[i] & 0xFF);
        stream[2 * i + 1] = static_cast<char>((headerPath[i] >> 8) & 0xFF);
    }
    return stream + fileBytes;
}

std::string Difference(const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return "";
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at);
}
