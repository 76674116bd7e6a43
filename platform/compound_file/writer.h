// Writes a compound file (version 3, 512-byte sectors) whose root storage
// holds streams only, in one pass and with memory bounded by small tables:
//
//  - A stream's first bytes are buffered. A stream that closes below 4096
//    bytes is appended to the mini stream, whose sectors go to the sink in
//    batches as they fill. Once a stream reaches 4096 bytes the buffer is
//    written out (together with the bytes that took it there, when they are
//    few) and every further Write() goes straight to the sink in one call at
//    the stream's next offset.
//  - The mini FAT, directory, FAT and DIFAT follow the data when the archive
//    is finished, and the header is written last, over the zeros that Start()
//    put in its place. Until then no reader takes the file for a compound file.
//  - Any failed write makes the writer refuse further work and never write
//    the header, so an archive that failed part-way never looks valid.
//  - Start(), CreateStream() and every Write() reserve, where the sink can,
//    the space the archive would need if it were finished right then. The
//    writes that closing a stream and finishing still make (mini stream
//    sectors, tables, header) then cannot run out of space: a full disk is
//    reported by a call that can report it, not by the final release.
//
// The whole file stays below kMaxFileBytes (2 GiB): sector numbers and
// offsets then fit the signed 32-bit arithmetic that many readers of this
// format use. A write that would cross it fails with Error::TooLarge before
// anything is written.
//
// No exception leaves the writer: allocation failures become
// Error::OutOfMemory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/compound_file/format.h"
#include "platform/compound_file/io.h"
#include "platform/compound_file/names.h"

namespace cfb {

constexpr std::uint64_t kMaxFileBytes = 0x80000000u;

class Writer {
public:
    explicit Writer(std::unique_ptr<WriteSink> sink);
    ~Writer();  // abandons the archive unless Finish() succeeded
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Reserves the header's place with zeros. Must come first.
    Error Start();

    // Opens a new stream in the root storage. Rejects invalid names
    // (InvalidName), names already present (NameExists) and a second open
    // stream (StreamAlreadyOpen); none of these harm the archive.
    Error CreateStream(const std::u16string& name);

    // Appends to the open stream. Any failure here is final for the archive.
    Error Write(const void* data, std::uint32_t size);

    // Completes the open stream.
    Error CloseStream();

    // Completes any open stream, writes the tables and then the header, and
    // closes the sink. On failure the header slot keeps its zeros.
    Error Finish();

    // Discards the sink without completing the archive (the header stays zero).
    void Abandon();

    bool Finished() const { return finished_; }
    bool StreamOpen() const { return streamOpen_; }
    // The failure that stopped the writer, or Error::None.
    Error Failure() const { return failure_; }
    // Bytes of stream data accepted so far in the open stream.
    std::uint64_t OpenStreamSize() const { return openSize_; }

private:
    struct StreamRecord {
        std::uint64_t size;
        std::uint32_t start;  // first sector or mini sector; kEndOfChain when empty
    };
    // A run of consecutive data sectors in one chain; the last links to `next`.
    struct Extent {
        std::uint32_t first;
        std::uint32_t count;
        std::uint32_t next;
    };

    Error Fail(Error error);
    Error CheckRoom(std::uint64_t streamSize) const;
    std::uint64_t FinishedFileBytes() const;
    Error ReserveForFinish();
    Error GoDirect();
    Error FlushMiniSectors(bool includePartial);
    Error AppendToMiniStream(const std::uint8_t* data, std::size_t size);
    void AddDataSectors(std::uint32_t first, std::uint32_t count, bool miniStream);
    Error CloseStreamUnchecked();
    Error WriteTables();

    std::unique_ptr<WriteSink> sink_;
    bool started_ = false;
    bool finished_ = false;
    bool closed_ = false;
    Error failure_ = Error::None;

    // Streams by name, in the directory's name order; value: index in records_.
    std::map<std::u16string, std::uint32_t, NameLess> names_;
    std::vector<StreamRecord> records_;

    // The open stream.
    bool streamOpen_ = false;
    std::u16string openName_;
    std::map<std::u16string, std::uint32_t, NameLess>::iterator openSlot_;  // where its name goes in names_
    std::uint64_t openSize_ = 0;
    bool openDirect_ = false;     // its bytes go straight to the sink
    std::uint32_t openStart_ = 0;  // its first sector once direct
    std::vector<std::uint8_t> head_;  // its first bytes until it goes to the sink

    // Sectors 0 .. nextSector_-1 are allocated; extents_ lists them in order.
    std::uint32_t nextSector_ = 0;
    std::vector<Extent> extents_;
    long lastMiniExtent_ = -1;  // index in extents_ of the mini stream's last run

    // The mini stream: miniSectors_ 64-byte sectors in all, of which the last
    // miniBuffered_ bytes are still in miniBuffer_.
    std::uint32_t miniSectors_ = 0;
    std::uint32_t miniStart_ = kEndOfChain;
    std::vector<std::uint8_t> miniBuffer_;
    std::size_t miniBuffered_ = 0;
    std::vector<std::uint32_t> miniChainEnds_;  // last mini sector of each mini stream
};

}  // namespace cfb
