#include "cli/archive.h"

#include "cli/layout.h"
#include "cli/text.h"

namespace {

void ReadHeader(const std::uint8_t* header, ArchiveStream* stream)
{
    std::size_t unit = 0;
    for (; unit < kHeaderBytes / 2; ++unit) {
        char16_t value = static_cast<char16_t>(header[2 * unit] | (header[2 * unit + 1] << 8));
        if (value == 0)
            break;
        stream->path += value;
    }
    stream->cleanPadding = true;
    for (std::size_t byte = 2 * unit; byte < kHeaderBytes; ++byte)
        if (header[byte] != 0)
            stream->cleanPadding = false;
}

}  // namespace

std::u16string ModArchive::Open(const fs::path& path)
{
    std::string error;
    std::unique_ptr<cfb::ReadSource> source = OpenArchiveSource(path, &error);
    if (source == nullptr)
        return Widen(error);
    return Open(std::move(source));
}

std::u16string ModArchive::Open(std::unique_ptr<cfb::ReadSource> source)
{
    source_ = std::move(source);
    std::string error = reader_.Open(*source_);
    if (!error.empty())
        return Widen(error);

    const std::vector<cfb::Entry>& entries = reader_.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ArchiveStream stream;
        stream.entry = i;
        stream.name = entries[i].name;
        stream.isStream = entries[i].type == cfb::EntryType::Stream;
        stream.size = entries[i].size;
        stream.hasHeader = stream.isStream && stream.size >= kHeaderBytes;
        if (stream.hasHeader) {
            std::uint8_t header[kHeaderBytes];
            error = reader_.Read(i, 0, header, sizeof header);
            if (!error.empty())
                return u"stream " + Quoted(stream.name) + u": " + Widen(error);
            ReadHeader(header, &stream);
        }
        streams_.push_back(std::move(stream));
    }
    readable_ = true;
    Check();
    if (faults_.empty())
        return std::u16string();
    std::size_t more = faults_.size() - 1;
    return more == 0 ? faults_[0]
                     : faults_[0] + u" (and " + Decimal(more) + (more == 1 ? u" more problem)" : u" more problems)");
}

void ModArchive::Check()
{
    for (cfb::Finding& finding : reader_.CheckStructure()) {
        if (finding.kind == cfb::Finding::Kind::Fault)
            faults_.push_back(u"compound file: " + Widen(finding.text));
        else
            notes_.push_back(std::move(finding));
    }
    Layout layout = CheckLayout(streams_);
    faults_.insert(faults_.end(), layout.problems.begin(), layout.problems.end());
    if (faults_.empty())
        files_ = std::move(layout.files);
}

std::u16string ModArchive::ReadContent(const ArchiveStream& stream,
                                       const cfb::ChunkFunction& chunk) const
{
    std::uint64_t skip = kHeaderBytes;
    std::string error = reader_.ReadAll(stream.entry, [&](const std::uint8_t* data, std::size_t size) {
        if (skip >= size) {
            skip -= size;
            return true;
        }
        bool more = chunk(data + skip, size - static_cast<std::size_t>(skip));
        skip = 0;
        return more;
    });
    return Widen(error);
}
