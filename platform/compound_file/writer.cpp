#include "platform/compound_file/writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "platform/compound_file/format.h"
#include "platform/compound_file/layout.h"

namespace cfb {

namespace {

// Mini stream bytes gathered before they go to the sink as whole sectors.
constexpr std::size_t kMiniBatchBytes = 128 * kSectorSize;

// A stream that reaches the cutoff with at most this many bytes goes to the
// sink in one write (its buffered start and the new bytes together); larger
// writes go straight from the caller's buffer.
constexpr std::size_t kCombinedWriteBytes = 64 * 1024;

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

std::uint64_t SectorOffset(std::uint64_t sector) { return (sector + 1) * kSectorSize; }

}  // namespace

Writer::Writer(std::unique_ptr<WriteSink> sink) : sink_(std::move(sink)) {}

Writer::~Writer() { Abandon(); }

Error Writer::Fail(Error error) {
    if (failure_ == Error::None) failure_ = error;
    return error;
}

Error Writer::Start() {
    if (started_ || closed_ || !sink_) return Error::Closed;
    try {
        head_.reserve(kCombinedWriteBytes);
        miniBuffer_.resize(kMiniBatchBytes);
    } catch (const std::bad_alloc&) {
        return Fail(Error::OutOfMemory);
    }
    const std::uint8_t zeros[kHeaderSize] = {};
    if (Error e = sink_->WriteAt(0, zeros, sizeof zeros); e != Error::None) return Fail(e);
    started_ = true;
    if (Error e = ReserveForFinish(); e != Error::None) return Fail(e);
    return Error::None;
}

Error Writer::CreateStream(const std::u16string& name) {
    if (failure_ != Error::None) return failure_;
    if (closed_ || !started_) return Error::Closed;
    if (streamOpen_) return Error::StreamAlreadyOpen;
    if (!IsValidName(name)) return Error::InvalidName;
    try {
        // Names mostly come in order ("1", "2", ...): the last one tells at once.
        const bool last = names_.empty() || NameLess()(names_.rbegin()->first, name);
        openSlot_ = last ? names_.end() : names_.lower_bound(name);
        if (openSlot_ != names_.end() && !NameLess()(name, openSlot_->first)) return Error::NameExists;
        // The new entry may need another directory sector.
        if (Error e = CheckRoom(0); e != Error::None) return e;
        openName_ = name;
    } catch (const std::bad_alloc&) {
        return Error::OutOfMemory;
    }
    streamOpen_ = true;
    openSize_ = 0;
    openDirect_ = false;
    head_.clear();
    if (Error e = ReserveForFinish(); e != Error::None) {
        streamOpen_ = false;  // nothing was written: the archive stays usable
        return e;
    }
    return Error::None;
}

// The size of the file if the open stream were closed and the archive
// finished now.
std::uint64_t Writer::FinishedFileBytes() const {
    std::uint64_t dataSectors = nextSector_;
    std::uint64_t miniSectors = miniSectors_;
    std::uint64_t miniBytes = miniBuffered_;
    if (streamOpen_ && openDirect_) {
        dataSectors += CeilDiv(openSize_, kSectorSize);
    } else if (streamOpen_) {
        miniSectors += CeilDiv(openSize_, kMiniSectorSize);
        miniBytes += CeilDiv(openSize_, kMiniSectorSize) * kMiniSectorSize;
    }
    dataSectors += CeilDiv(miniBytes, kSectorSize);
    const std::uint64_t entries = records_.size() + 1 + (streamOpen_ ? 1 : 0);
    return ComputeLayout(dataSectors, miniSectors, entries).FileBytes();
}

Error Writer::ReserveForFinish() { return sink_->Reserve(FinishedFileBytes()); }

// Fails when the archive, with the open stream at `streamSize` bytes and the
// tables it would then need, would reach kMaxFileBytes. The estimate takes the
// larger of the two places the stream may end up in.
Error Writer::CheckRoom(std::uint64_t streamSize) const {
    std::uint64_t dataSectors = nextSector_ + CeilDiv(miniBuffered_, kSectorSize);
    std::uint64_t miniSectors = miniSectors_;
    if (streamSize >= kMiniStreamCutoff) {
        dataSectors += CeilDiv(streamSize, kSectorSize);
    } else {
        dataSectors += CeilDiv(streamSize, kSectorSize) + 1;
        miniSectors += CeilDiv(streamSize, kMiniSectorSize);
    }
    std::uint64_t entries = records_.size() + 2;  // the root and the open stream
    if (ComputeLayout(dataSectors, miniSectors, entries).FileBytes() >= kMaxFileBytes) {
        return Error::TooLarge;
    }
    return Error::None;
}

Error Writer::Write(const void* data, std::uint32_t size) {
    if (failure_ != Error::None) return failure_;
    if (closed_ || !started_) return Error::Closed;
    if (!streamOpen_) return Error::NoStreamOpen;
    if (size == 0) return Error::None;
    if (data == nullptr) return Error::InvalidArgument;

    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t newSize = openSize_ + size;
    if (Error e = CheckRoom(newSize); e != Error::None) return Fail(e);

    if (openDirect_) {
        Error e = sink_->WriteAt(SectorOffset(openStart_) + openSize_, bytes, size);
        if (e != Error::None) return Fail(e);
    } else if (newSize < kMiniStreamCutoff || newSize <= kCombinedWriteBytes) {
        head_.insert(head_.end(), bytes, bytes + size);  // within the reserved capacity
    } else {
        // Large: the buffered start, then the caller's bytes straight from its buffer.
        if (Error e = GoDirect(); e != Error::None) return e;
        if (Error e = sink_->WriteAt(SectorOffset(openStart_) + openSize_, bytes, size); e != Error::None) {
            return Fail(e);
        }
    }
    if (!openDirect_ && newSize >= kMiniStreamCutoff) {
        if (Error e = GoDirect(); e != Error::None) return e;
    }
    openSize_ = newSize;
    if (Error e = ReserveForFinish(); e != Error::None) return Fail(e);
    return Error::None;
}

// The open stream has reached the cutoff: it takes regular sectors from the
// current end of the file, its buffered bytes go there in one write, and its
// later bytes follow them directly.
Error Writer::GoDirect() {
    openStart_ = nextSector_;
    if (!head_.empty()) {
        if (Error e = sink_->WriteAt(SectorOffset(openStart_), head_.data(), head_.size()); e != Error::None) {
            return Fail(e);
        }
    }
    head_.clear();
    openDirect_ = true;
    return Error::None;
}

Error Writer::CloseStream() {
    if (failure_ != Error::None) {
        streamOpen_ = false;
        return failure_;
    }
    if (closed_ || !started_) return Error::Closed;
    if (!streamOpen_) return Error::NoStreamOpen;
    return CloseStreamUnchecked();
}

Error Writer::CloseStreamUnchecked() {
    streamOpen_ = false;
    StreamRecord record{openSize_, kEndOfChain};
    try {
        if (openDirect_) {
            // The last sector's tail is left unwritten: the tables that always
            // follow make it a gap, which reads back as zeros.
            auto count = static_cast<std::uint32_t>(CeilDiv(openSize_, kSectorSize));
            AddDataSectors(openStart_, count, false);
            nextSector_ += count;
            record.start = openStart_;
        } else if (openSize_ > 0) {
            record.start = miniSectors_;
            if (Error e = AppendToMiniStream(head_.data(), head_.size()); e != Error::None) {
                return Fail(e);
            }
            miniChainEnds_.push_back(miniSectors_ - 1);
        }
        records_.push_back(record);
        names_.emplace_hint(openSlot_, std::move(openName_), static_cast<std::uint32_t>(records_.size() - 1));
    } catch (const std::bad_alloc&) {
        return Fail(Error::OutOfMemory);
    }
    head_.clear();
    return Error::None;
}

Error Writer::AppendToMiniStream(const std::uint8_t* data, std::size_t size) {
    std::size_t padded = static_cast<std::size_t>(CeilDiv(size, kMiniSectorSize)) * kMiniSectorSize;
    std::size_t done = 0;
    while (done < padded) {
        if (miniBuffered_ == miniBuffer_.size()) {
            if (Error e = FlushMiniSectors(false); e != Error::None) return e;
        }
        std::size_t piece = std::min(padded - done, miniBuffer_.size() - miniBuffered_);
        std::size_t copied = done < size ? std::min(piece, size - done) : 0;
        std::memcpy(miniBuffer_.data() + miniBuffered_, data + done, copied);
        std::memset(miniBuffer_.data() + miniBuffered_ + copied, 0, piece - copied);
        miniBuffered_ += piece;
        done += piece;
    }
    miniSectors_ += static_cast<std::uint32_t>(padded / kMiniSectorSize);
    return Error::None;
}

// Writes the mini stream's buffered whole sectors (and, when asked, the last
// partly filled one) at the end of the file and adds them to its chain.
Error Writer::FlushMiniSectors(bool includePartial) {
    std::size_t whole = miniBuffered_ / kSectorSize;
    std::size_t partial = miniBuffered_ % kSectorSize;
    std::size_t count = whole + (includePartial && partial != 0 ? 1 : 0);
    if (count == 0) return Error::None;
    std::size_t bytes = count * kSectorSize;
    std::memset(miniBuffer_.data() + miniBuffered_, 0, bytes - std::min(bytes, miniBuffered_));
    if (Error e = sink_->WriteAt(SectorOffset(nextSector_), miniBuffer_.data(), bytes); e != Error::None) {
        return e;
    }
    if (miniStart_ == kEndOfChain) miniStart_ = nextSector_;
    AddDataSectors(nextSector_, static_cast<std::uint32_t>(count), true);
    nextSector_ += static_cast<std::uint32_t>(count);
    if (count == whole && partial != 0) {
        std::memmove(miniBuffer_.data(), miniBuffer_.data() + whole * kSectorSize, partial);
        miniBuffered_ = partial;
    } else {
        miniBuffered_ = 0;
    }
    return Error::None;
}

void Writer::AddDataSectors(std::uint32_t first, std::uint32_t count, bool miniStream) {
    if (miniStream && lastMiniExtent_ >= 0) {
        Extent& last = extents_[static_cast<std::size_t>(lastMiniExtent_)];
        if (static_cast<std::size_t>(lastMiniExtent_) + 1 == extents_.size() &&
            last.first + last.count == first) {
            last.count += count;
            return;
        }
        last.next = first;
    }
    extents_.push_back(Extent{first, count, kEndOfChain});
    if (miniStream) lastMiniExtent_ = static_cast<long>(extents_.size() - 1);
}

Error Writer::Finish() {
    if (failure_ != Error::None || !started_) {
        Abandon();
        return failure_ != Error::None ? failure_ : Error::Closed;
    }
    if (closed_) return Error::Closed;
    if (streamOpen_) CloseStreamUnchecked();
    if (failure_ != Error::None) {
        Abandon();
        return failure_;
    }
    Error e;
    try {
        e = WriteTables();
    } catch (const std::bad_alloc&) {
        e = Error::OutOfMemory;
    }
    if (e != Error::None) {
        Fail(e);
        Abandon();
        return e;
    }
    closed_ = true;
    e = sink_->Close();
    sink_.reset();
    if (e != Error::None) return Fail(e);
    finished_ = true;
    return Error::None;
}

void Writer::Abandon() {
    streamOpen_ = false;
    if (closed_) return;
    closed_ = true;
    sink_.reset();  // without Close(): the archive is not completed
}

}  // namespace cfb
