// Files on POSIX systems: positional reads and writes on a descriptor.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/compound_file/file_io.h"
#include "platform/posix/syscalls.h"

namespace cfb {

namespace {

// One request at most this large: Linux caps a single transfer near 2 GiB.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Reservations grow in steps of this size, to keep the calls few.
constexpr std::uint64_t kReserveStep = std::uint64_t{4} << 20;

// fallocate() answers that the file system or file cannot preallocate.
bool CannotPreallocate(int error) {
    return error == EOPNOTSUPP || error == ENOSYS || error == ENODEV || error == ESPIPE || error == EINVAL;
}

// Creating a file to write. The name is never followed when it is a symbolic
// link: a link there is refused, so nothing is ever written where it points.
// The file is held with an exclusive lock (flock) from before anything is
// written until it is closed, and an existing file is emptied only once this
// process holds that lock and the file is still the one at that name; it is
// never opened with O_TRUNC. Of two processes creating the same file, the
// second therefore fails without touching what the first one writes, as a
// file opened without sharing on Windows refuses a second opener.

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Locks the open file fd, which must be a regular file that is still at `path`
// (a creator that failed may have removed it since it was opened). A file
// system without locks leaves it unlocked; a lock someone else holds refuses it.
Error LockOpened(int fd, const std::string& path, struct stat& opened) {
    if (sys::fstat(fd, &opened) != 0) return ErrorFromSystem(static_cast<unsigned long>(errno));
    if (!S_ISREG(opened.st_mode)) return Error::AccessDenied;
    int locked;
    do {
        locked = sys::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno == EWOULDBLOCK) return Error::AccessDenied;
    struct stat named;
    if (sys::fstatat(AT_FDCWD, path.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(named, opened))
        return Error::AccessDenied;
    return Error::None;
}

// The descriptor of `path`, created (New) or created or emptied (Replace) and
// locked; -1 with `error` set when it can't be.
int CreateLocked(const std::string& path, CreateMode mode, Error& error) {
    // Non-blocking: opening a FIFO found at the name must not wait for a reader.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK |
                      (mode == CreateMode::New ? O_EXCL : 0);
    int fd;
    do {
        fd = sys::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno == ELOOP ? Error::AccessDenied : ErrorFromSystem(static_cast<unsigned long>(errno));
        return -1;
    }
    struct stat opened;
    error = LockOpened(fd, path, opened);
    if (error == Error::None && opened.st_size != 0 && sys::ftruncate(fd, 0) != 0)
        error = ErrorFromSystem(static_cast<unsigned long>(errno));
    if (error == Error::None) return fd;
    sys::close(fd);
    return -1;
}

class PosixFileSink final : public WriteSink {
public:
    PosixFileSink() = default;
    ~PosixFileSink() override {
        if (fd_ >= 0) sys::close(fd_);
    }

    Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        if (fd_ < 0) return Error::Closed;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            const std::size_t piece = size < kMaxTransfer ? size : kMaxTransfer;
            const ssize_t written = sys::pwrite(fd_, bytes, piece, static_cast<off_t>(offset));
            if (written < 0) {
                if (errno == EINTR) continue;
                return ErrorFromSystem(static_cast<unsigned long>(errno));
            }
            if (written == 0) return Error::MediumFull;
            bytes += written;
            size -= static_cast<std::size_t>(written);
            offset += static_cast<std::uint64_t>(written);
            if (offset > end_) end_ = offset;
        }
        return Error::None;
    }

    // Allocates the blocks up to `size` (a little beyond, to keep the calls
    // few; exactly when only that much space is left). Close() trims what
    // was allocated past the last byte written.
    Error Reserve(std::uint64_t size) override {
        if (fd_ < 0 || !preallocates_ || size <= reserved_) return Error::None;
#ifdef __linux__
        const std::uint64_t generous = (size + kReserveStep - 1) / kReserveStep * kReserveStep;
        for (std::uint64_t target : {generous, size}) {
            int result;
            do {
                result = sys::fallocate(fd_, 0, static_cast<off_t>(reserved_), static_cast<off_t>(target - reserved_));
            } while (result != 0 && errno == EINTR);
            if (result == 0) {
                reserved_ = target;
                return Error::None;
            }
            if (CannotPreallocate(errno)) {
                preallocates_ = false;
                return Error::None;
            }
            // Short of space, or past the file size limit: the exact size may still fit.
            if (errno != ENOSPC && errno != EDQUOT && errno != EFBIG) break;
        }
        return ErrorFromSystem(static_cast<unsigned long>(errno));
#else
        preallocates_ = false;
        return Error::None;
#endif
    }

    Error Open(const std::string& path, CreateMode mode) {
        Error error = Error::None;
        fd_ = CreateLocked(path, mode, error);
        return error;
    }

    Error Close() override {
        if (fd_ < 0) return Error::None;
        Error error = Error::None;
        if (reserved_ > end_ && sys::ftruncate(fd_, static_cast<off_t>(end_)) != 0) {
            error = ErrorFromSystem(static_cast<unsigned long>(errno));
        }
        const int result = sys::close(fd_);
        fd_ = -1;
        if (result != 0 && errno != EINTR && error == Error::None) {
            error = ErrorFromSystem(static_cast<unsigned long>(errno));
        }
        return error;
    }

private:
    int fd_ = -1;
    std::uint64_t end_ = 0;       // one past the last byte written
    std::uint64_t reserved_ = 0;  // bytes allocated by Reserve()
    bool preallocates_ = true;
};

class PosixFileSource final : public ReadSource {
public:
    PosixFileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~PosixFileSource() override { sys::close(fd_); }

    std::uint64_t Size() const override { return size_; }

    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) return false;
        auto* bytes = static_cast<std::uint8_t*>(data);
        while (size > 0) {
            const std::size_t piece = size < kMaxTransfer ? size : kMaxTransfer;
            const ssize_t got = sys::pread(fd_, bytes, piece, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            bytes += got;
            size -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

// Clears O_NONBLOCK, which the open set only to get past a FIFO.
bool Blocking(int fd) {
    const int flags = sys::fcntl(fd, F_GETFL);
    return flags != -1 && sys::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

Error ErrorFromSystem(unsigned long code) {
    switch (static_cast<int>(code)) {
        case 0: return Error::None;
        case EEXIST: return Error::FileExists;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY: return Error::AccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return Error::MediumFull;
        case ENOMEM: return Error::OutOfMemory;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG: return Error::PathNotFound;
        case EIO:
        default: return Error::WriteFault;
    }
}

std::unique_ptr<WriteSink> CreateFileSink(const std::string& path, CreateMode mode, Error& error) {
    std::unique_ptr<PosixFileSink> sink(new (std::nothrow) PosixFileSink);
    if (!sink) {
        error = Error::OutOfMemory;
        return nullptr;
    }
    if ((error = sink->Open(path, mode)) != Error::None) return nullptr;
    return sink;
}

std::unique_ptr<ReadSource> OpenFileSource(const std::string& path, std::string& error) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; with it the open returns at once and fstat() refuses the FIFO.
    int fd;
    do {
        fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    const int openError = errno;
    struct stat info;
    const bool regular = fd >= 0 && sys::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && Blocking(fd);
    std::unique_ptr<ReadSource> source;
    if (regular) source.reset(new (std::nothrow) PosixFileSource(fd, static_cast<std::uint64_t>(info.st_size)));
    if (source) {
        error.clear();
        return source;
    }
    if (fd >= 0) sys::close(fd);
    try {
        if (fd < 0) {
            error = "cannot open \"" + path + "\": " + std::strerror(openError);
        } else {
            error = regular ? std::string("out of memory") : "\"" + path + "\" is not a regular file";
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";  // short enough to need no allocation
    }
    return nullptr;
}

}  // namespace cfb
