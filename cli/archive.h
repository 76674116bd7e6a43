// A mod archive opened for reading: the compound file checked by our reader,
// and each element of its root with the path its stream's name header holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/native_path.h"
#include "platform/compound_file/reader.h"

constexpr std::uint64_t kHeaderBytes = 1024;

struct ArchiveStream {
    std::size_t entry = 0;      // index in the reader's entries
    std::u16string name;        // the element's name
    bool isStream = false;      // false: a storage
    std::uint64_t size = 0;     // the stream's bytes, header included
    bool hasHeader = false;     // at least kHeaderBytes long
    std::u16string path;        // the header's path: UTF-16LE up to the first zero unit
    bool cleanPadding = false;  // everything after the path's end is zero
};

class ModArchive {
public:
    // Opens and reads every element's header. Empty on success, else why the
    // file is not a readable compound file.
    std::u16string Open(const fs::path& path);

    const std::vector<ArchiveStream>& Streams() const { return streams_; }
    const cfb::Reader& Reader() const { return reader_; }

    // Delivers the bytes of a stream after its header, in pieces. Empty on
    // success (or when `chunk` stopped), else the reason.
    std::u16string ReadContent(const ArchiveStream& stream, const cfb::ChunkFunction& chunk) const;

private:
    std::unique_ptr<cfb::ReadSource> source_;
    cfb::Reader reader_;
    std::vector<ArchiveStream> streams_;
};
