// Whole-file reading and deletion: CreateFileW, GetFileSize, ReadFile,
// CloseHandle, DeleteFileW.
//
// CreateFileW opens existing regular files for reading only. The open never
// blocks (a FIFO would wait for a writer) and anything that is not a regular
// file is refused after the open. Share mode 0 takes an exclusive advisory
// lock (flock), any other share mode a shared one, so two holders that would
// exclude each other on Windows exclude each other here too, as long as
// both go through this layer. A file system that has no locks at all is
// read without one; only a lock held by someone else refuses the open.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/posix/handles.h"
#include "platform/posix/text.h"
#include "platform/posix/syscalls.h"

namespace {

// One read() moves at most about 2 GiB; reading in slices of this size keeps
// every call far below that limit.
constexpr std::size_t kReadSliceBytes = 1u << 20;

struct FileObject : HandleHeader {
    static constexpr HandleKind kKind = HandleKind::File;
    FileObject(int descriptor, std::uint64_t bytes) : HandleHeader(kKind), fd(descriptor), size(bytes) {}
    int fd;
    // Taken when the file is opened. A writer that does not go through this
    // layer may change the file meanwhile: reading finds that out.
    std::uint64_t size;
    std::uint64_t position = 0;
};

// The code for a name that is not a regular file, by the kind it is.
DWORD NotRegularCode(mode_t mode)
{
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISFIFO(mode))
        return kErrorIsFifo;
    if (S_ISSOCK(mode))
        return kErrorIsSocket;
    return S_ISCHR(mode) || S_ISBLK(mode) ? kErrorIsDevice : kErrorNotRegular;
}

// Closes fd without disturbing errno, for failure paths.
void CloseQuietly(int fd)
{
    int error = errno;
    sys::close(fd);
    errno = error;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, void* /*security*/,
                   DWORD disposition, DWORD /*attributes*/, HANDLE templateFile)
{
    if (path == nullptr || access != GENERIC_READ || disposition != OPEN_EXISTING ||
        templateFile != nullptr) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    int fd = -1;
    struct stat info;
    try {
        std::string native = ToNativePath(path);
        do {
            fd = sys::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        } while (fd < 0 && errno == EINTR);
        // A socket can't be opened at all; say what it is.
        if (fd < 0 && errno == ENXIO)
            errno = sys::stat(native.c_str(), &info) == 0 ? static_cast<int>(NotRegularCode(info.st_mode)) : ENXIO;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    if (sys::fstat(fd, &info) != 0) {
        CloseQuietly(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISREG(info.st_mode)) {
        sys::close(fd);
        errno = static_cast<int>(NotRegularCode(info.st_mode));
        return INVALID_HANDLE_VALUE;
    }
    // Non-blocking mode was only for the open; for a regular file it changes
    // nothing, so it is left on rather than costing two more calls per file.
    int lock = shareMode == 0 ? LOCK_EX : LOCK_SH;
    if (sys::flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        CloseQuietly(fd);
        return INVALID_HANDLE_VALUE;
    }

    auto* object = new (std::nothrow) FileObject(fd, static_cast<std::uint64_t>(info.st_size));
    if (object == nullptr) {
        sys::close(fd);
        errno = ENOMEM;
        return INVALID_HANDLE_VALUE;
    }
    return static_cast<HANDLE>(static_cast<HandleHeader*>(object));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh)
{
    FileObject* object = HandleObject<FileObject>(file);
    if (object == nullptr)
        return INVALID_FILE_SIZE;
    if (sizeHigh != nullptr)
        *sizeHigh = static_cast<DWORD>(object->size >> 32);
    return static_cast<DWORD>(object->size & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped)
{
    if (read != nullptr)
        *read = 0;
    FileObject* object = HandleObject<FileObject>(file);
    if (object == nullptr || overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
        errno = EINVAL;
        return FALSE;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    BOOL result = TRUE;
    for (;;) {
        std::size_t slice = toRead - done < kReadSliceBytes ? toRead - done : kReadSliceBytes;
        // The read that reaches the size the file had asks for one byte
        // more, in the same call: a byte there means the file grew.
        bool toEnd = object->position + slice >= object->size;
        if (slice == 0 && !toEnd)
            break;
        unsigned char probe;
        iovec parts[2] = {{bytes + done, slice}, {&probe, 1}};
        ssize_t got = sys::readv(object->fd, parts, toEnd ? 2 : 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = FALSE;
            break;
        }
        std::size_t moved = static_cast<std::size_t>(got) < slice ? static_cast<std::size_t>(got) : slice;
        done += moved;
        object->position += moved;
        if (static_cast<std::size_t>(got) > slice) {
            errno = static_cast<int>(kErrorChanged);  // read whole, it would be stored cut
            result = FALSE;
            break;
        }
        if (got == 0 || (toEnd && moved == slice))
            break;  // the end of the file, or the end of what was asked for
    }
    if (read != nullptr)
        *read = static_cast<DWORD>(done);
    return result;
}

BOOL CloseHandle(HANDLE handle)
{
    FileObject* object = HandleObject<FileObject>(handle);
    if (object == nullptr) {
        errno = EBADF;
        return FALSE;
    }
    // Closing the descriptor also gives up the lock.
    int closed = sys::close(object->fd);
    delete object;
    return closed == 0 ? TRUE : FALSE;
}

BOOL DeleteFileW(LPCWSTR path)
{
    if (path == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    try {
        std::string native = ToNativePath(path);
        return sys::unlink(native.c_str()) == 0 ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return FALSE;
    }
}
