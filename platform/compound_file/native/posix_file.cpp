// Files on POSIX systems: positional reads and writes on a descriptor.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

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

// Creating a file to write. The file is written unnamed (O_TMPFILE) in the
// folder of its name and linked in under that name only once it is complete:
// a process that fails, is interrupted or is killed leaves no part of it, and
// a file it replaces stays as it was until then. A file system without
// unnamed files gets a new temporary name beside it instead, renamed at the
// end and removed on failure. A symbolic link at the name is refused, never
// followed or replaced.

// Why `path` can't be created in `mode`; Error::None when it can.
Error CheckName(const std::string& path, CreateMode mode) {
    struct stat named;
    if (sys::fstatat(AT_FDCWD, path.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Error::None : ErrorFromSystem(static_cast<unsigned long>(errno));
    if (mode == CreateMode::New) return Error::FileExists;
    return S_ISREG(named.st_mode) ? Error::None : Error::AccessDenied;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A name no file in the folder of `path` has yet, for `attempt`.
std::string TemporaryName(const std::string& path, unsigned attempt) {
    return path + ".tvpack-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
}

// Gives the file at `from` (a temporary name, or the /proc link of an unnamed
// file with `follow`) the name `to`: replacing a file there (Replace), or
// failing with Error::FileExists when there is one (New).
Error Rename(const std::string& from, bool follow, const std::string& to, CreateMode mode) {
    if (!follow && sys::renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                                 mode == CreateMode::New ? RENAME_NOREPLACE : 0) == 0)
        return Error::None;
    if (!follow && errno != EINVAL) return ErrorFromSystem(static_cast<unsigned long>(errno));
    const int flags = follow ? AT_SYMLINK_FOLLOW : 0;
    if (mode == CreateMode::New) {
        if (sys::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) != 0)
            return ErrorFromSystem(static_cast<unsigned long>(errno));
        if (!follow) sys::unlink(from.c_str());
        return Error::None;
    }
    // Replacing: a second name first, then that name over the old file.
    for (unsigned attempt = 1;; ++attempt) {
        const std::string second = TemporaryName(to, attempt);
        if (sys::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, second.c_str(), flags) != 0) {
            if (errno == EEXIST && attempt < 100) continue;
            return ErrorFromSystem(static_cast<unsigned long>(errno));
        }
        if (sys::renameat(AT_FDCWD, second.c_str(), AT_FDCWD, to.c_str()) == 0) {
            if (!follow) sys::unlink(from.c_str());
            return Error::None;
        }
        const int error = errno;
        sys::unlink(second.c_str());
        return ErrorFromSystem(static_cast<unsigned long>(error));
    }
}

class PosixFileSink final : public WriteSink {
public:
    PosixFileSink(const std::string& path, CreateMode mode) : path_(path), mode_(mode) {}
    // Without Close() the file is discarded.
    ~PosixFileSink() override {
        const int error = errno;  // the reason of a failure just reported
        if (fd_ >= 0) sys::close(fd_);
        if (!temporary_.empty()) sys::unlink(temporary_.c_str());
        errno = error;
    }

    Error Open() {
        if (Error e = CheckName(path_, mode_); e != Error::None) return e;
        do {
            fd_ = sys::open(FolderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0) return Error::None;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return ErrorFromSystem(static_cast<unsigned long>(errno));
        for (unsigned attempt = 1; fd_ < 0; ++attempt) {
            temporary_ = TemporaryName(path_, attempt);
            do {
                fd_ = sys::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            } while (fd_ < 0 && errno == EINTR);
            if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
                temporary_.clear();
                return ErrorFromSystem(static_cast<unsigned long>(errno));
            }
        }
        return Error::None;
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
    // few; exactly when only that much space is left) without changing the
    // file's size: the file never holds more than was written, so it is
    // whole whether or not Close() gets to give back what was not used.
    Error Reserve(std::uint64_t size) override {
        if (fd_ < 0 || !preallocates_ || size <= reserved_) return Error::None;
        const std::uint64_t generous = (size + kReserveStep - 1) / kReserveStep * kReserveStep;
        for (std::uint64_t target : {generous, size}) {
            int result;
            do {
                result = sys::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_),
                                        static_cast<off_t>(target - reserved_));
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
    }

    // Gives the complete file its name.
    Error Close() override {
        if (fd_ < 0) return Error::Closed;
        // Blocks reserved past the end go back; a failure costs space only.
        if (reserved_ > end_) sys::ftruncate(fd_, static_cast<off_t>(end_));
        const Error error = temporary_.empty()
                                ? Rename("/proc/self/fd/" + std::to_string(fd_), true, path_, mode_)
                                : Rename(temporary_, false, path_, mode_);
        if (error != Error::None) return error;
        temporary_.clear();
        const int closed = sys::close(fd_);
        fd_ = -1;
        if (closed == 0 || errno == EINTR) return Error::None;
        // The system may not have stored every byte: the file must not stay.
        const int failure = errno;
        sys::unlink(path_.c_str());
        return ErrorFromSystem(static_cast<unsigned long>(failure));
    }

private:
    std::string path_;
    CreateMode mode_;
    int fd_ = -1;
    std::string temporary_;       // the file's name until Close(), when it has one
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
        error_ = 0;
        if (offset > size_ || size > size_ - offset) return false;
        auto* bytes = static_cast<std::uint8_t*>(data);
        while (size > 0) {
            const std::size_t piece = size < kMaxTransfer ? size : kMaxTransfer;
            const ssize_t got = sys::pread(fd_, bytes, piece, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = errno;
            if (got <= 0) return false;
            bytes += got;
            size -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    std::string FailureReason() const override { return error_ != 0 ? std::strerror(error_) : std::string(); }

private:
    int fd_;
    std::uint64_t size_;
    int error_ = 0;  // errno of the last failed read; 0 for one past the end
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
    std::unique_ptr<PosixFileSink> sink;
    try {
        sink.reset(new PosixFileSink(path, mode));
        error = sink->Open();
    } catch (const std::bad_alloc&) {
        error = Error::OutOfMemory;
    }
    return error == Error::None ? std::move(sink) : nullptr;
}

std::unique_ptr<ReadSource> OpenFileSource(const std::string& path, std::string& error) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; with it the open returns at once and fstat() refuses the FIFO.
    int fd;
    do {
        fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    int failure = fd < 0 ? errno : 0;
    struct stat info;
    bool regular = false;
    if (failure == 0 && sys::fstat(fd, &info) != 0) {
        failure = errno;
    } else if (failure == 0 && (regular = S_ISREG(info.st_mode)) && !Blocking(fd)) {
        failure = errno;
    }
    std::unique_ptr<ReadSource> source;
    if (failure == 0 && regular)
        source.reset(new (std::nothrow) PosixFileSource(fd, static_cast<std::uint64_t>(info.st_size)));
    if (source) {
        error.clear();
        return source;
    }
    if (fd >= 0) sys::close(fd);
    try {
        if (failure != 0) {
            error = "cannot open \"" + path + "\": " + std::strerror(failure);
        } else {
            error = regular ? std::string("out of memory") : "\"" + path + "\" is not a regular file";
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";  // short enough to need no allocation
    }
    return nullptr;
}

}  // namespace cfb
