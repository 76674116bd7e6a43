// A mod archive opened for reading: the compound file checked by our reader,
// and each element of its root with the path its stream's name header holds.
// Opening runs every check a command that reads an archive relies on, so
// that each command refuses the same archives.
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

// A stream of a well-laid-out archive: its file number and its header path
// split at the backslashes.
struct LayoutFile {
    std::uint32_t number = 0;
    const ArchiveStream* stream = nullptr;
    std::vector<std::u16string> components;
};

class ModArchive {
public:
    ModArchive() = default;
    ModArchive(const ModArchive&) = delete;
    ModArchive& operator=(const ModArchive&) = delete;

    // Opens the archive, reads every element's header, and checks the
    // compound file's structure and the archive's layout. Empty when the
    // archive is readable and has no fault; else why the file is not a
    // readable compound file, or its first fault (Faults() has them all).
    std::u16string Open(const fs::path& path);
    // The same on an archive already open for reading.
    std::u16string Open(std::unique_ptr<cfb::ReadSource> source);

    // Whether the compound file could be read at all: Streams() then holds
    // its elements, even when Faults() is not empty.
    bool Readable() const { return readable_; }

    // Everything that could make a reader take out something wrong, or
    // extract write a file where it should not: faults of the structure
    // ("compound file: …") and of the layout, each naming what it is about.
    const std::vector<std::u16string>& Faults() const { return faults_; }

    // The structure findings that are no faults: files some reader refuses,
    // and the writer's choices.
    const std::vector<cfb::Finding>& Notes() const { return notes_; }

    const std::vector<ArchiveStream>& Streams() const { return streams_; }

    // The files in number order, when there are no faults.
    const std::vector<LayoutFile>& Files() const { return files_; }

    const cfb::Reader& Reader() const { return reader_; }

    // Delivers the bytes of a stream after its header, in pieces. Empty on
    // success (or when `chunk` stopped), else the reason.
    std::u16string ReadContent(const ArchiveStream& stream, const cfb::ChunkFunction& chunk) const;

private:
    void Check();

    std::unique_ptr<cfb::ReadSource> source_;
    cfb::Reader reader_;
    bool readable_ = false;
    std::vector<ArchiveStream> streams_;
    std::vector<std::u16string> faults_;
    std::vector<cfb::Finding> notes_;
    std::vector<LayoutFile> files_;
};
