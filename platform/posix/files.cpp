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
//
// DeleteFileW of the archive the storage wrote, when the folder refuses the
// deletion, at least overwrites its header (written_archive.h).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "platform/posix/handles.h"
#include "platform/posix/text.h"
#include "platform/posix/written_archive.h"
#include "platform/posix/syscalls.h"

namespace {

// One read() moves at most about 2 GiB; reading in slices of this size keeps
// every call far below that limit.
constexpr std::size_t kReadSliceBytes = 1u << 20;

struct FileObject : HandleHeader {
    static constexpr HandleKind kKind = HandleKind::File;
    FileObject(int descriptor, std::uint64_t bytes) : HandleHeader(kKind), fd(descriptor), size(bytes) {}
    int fd;
    // Taken when the file is opened: no holder that goes through this layer
    // can change it while the handle holds its lock.
    std::uint64_t size;
};

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
    try {
        fd = sys::open(ToNativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (fd < 0)
        return INVALID_HANDLE_VALUE;

    struct stat info;
    if (sys::fstat(fd, &info) != 0) {
        CloseQuietly(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISREG(info.st_mode)) {
        sys::close(fd);
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
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
    while (done < toRead) {
        std::size_t slice = toRead - done < kReadSliceBytes ? toRead - done : kReadSliceBytes;
        ssize_t got = sys::read(object->fd, bytes + done, slice);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = FALSE;
            break;
        }
        if (got == 0)
            break;  // end of file: a short read, as on Windows
        done += static_cast<std::size_t>(got);
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
        if (sys::unlink(native.c_str()) == 0)
            return TRUE;
        int error = errno;
        SpoilUndeletedArchive(native.c_str());
        errno = error;
        return FALSE;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return FALSE;
    }
}
