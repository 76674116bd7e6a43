// Every system call of the native side, in one table.
//
// platform/posix, the compound-file component's files
// (compound_file/native/posix_file.cpp) and tvpack's own POSIX code
// (cli/posix) call the system only through `sys::` below. Each call goes
// through one entry of `sys::g_calls`, which holds the system's own function
// until a test replaces it: a test can then make any call fail with an errno
// of its choice, or make a read or a write short or interrupted, and so walk
// every failure a run can meet (tests/support/system_faults.cpp).
//
// In a program nothing replaces the entries, and each call costs one load
// and one indirect jump next to the system call itself.
//
// Signal handling and the terminal (sigaction, sigprocmask, isatty) are left
// out: they do not touch the files a run reads or writes.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

// Systems without unnamed files, rename flags or preallocation: the calls
// then answer as a Linux file system without them would (EISDIR, EINVAL,
// EOPNOTSUPP), and the callers take their other way.
#ifndef O_TMPFILE
#define O_TMPFILE O_DIRECTORY
#endif
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE 1u
#endif
#ifndef FALLOC_FL_KEEP_SIZE
#define FALLOC_FL_KEEP_SIZE 1
#endif

namespace sys {

// One entry per call, with the system's signature (`open` and `openat` with
// their mode always given, `fcntl` with one int argument).
struct Calls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*openat)(int folder, const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* data, size_t size);
    ssize_t (*readv)(int fd, const iovec* parts, int count);
    ssize_t (*write)(int fd, const void* data, size_t size);
    ssize_t (*pread)(int fd, void* data, size_t size, off_t offset);
    ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
    int (*fstat)(int fd, struct stat* info);
    int (*fstatat)(int folder, const char* path, struct stat* info, int flags);
    int (*flock)(int fd, int operation);
    int (*fcntl)(int fd, int command, int argument);
    int (*ftruncate)(int fd, off_t size);
    int (*fallocate)(int fd, int mode, off_t offset, off_t size);
    int (*unlinkat)(int folder, const char* path, int flags);
    int (*renameat2)(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
    int (*linkat)(int fromFolder, const char* from, int toFolder, const char* to, int flags);
    int (*mkdirat)(int folder, const char* path, mode_t mode);
    char* (*getcwd)(char* buffer, size_t size);
    int (*chdir)(const char* path);
    DIR* (*opendir)(const char* path);
    dirent* (*readdir)(DIR* folder);
    int (*closedir)(DIR* folder);
};

// The table every call below goes through; starts as the system's calls.
extern Calls g_calls;
// The system's own calls, for a test to put back.
extern const Calls kSystemCalls;

inline int open(const char* path, int flags, mode_t mode = 0) { return g_calls.open(path, flags, mode); }
inline int openat(int folder, const char* path, int flags, mode_t mode = 0)
{
    return g_calls.openat(folder, path, flags, mode);
}
inline int close(int fd) { return g_calls.close(fd); }
inline ssize_t read(int fd, void* data, size_t size) { return g_calls.read(fd, data, size); }
inline ssize_t readv(int fd, const iovec* parts, int count) { return g_calls.readv(fd, parts, count); }
inline ssize_t write(int fd, const void* data, size_t size) { return g_calls.write(fd, data, size); }
inline ssize_t pread(int fd, void* data, size_t size, off_t offset) { return g_calls.pread(fd, data, size, offset); }
inline ssize_t pwrite(int fd, const void* data, size_t size, off_t offset)
{
    return g_calls.pwrite(fd, data, size, offset);
}
inline int fstat(int fd, struct stat* info) { return g_calls.fstat(fd, info); }
inline int fstatat(int folder, const char* path, struct stat* info, int flags)
{
    return g_calls.fstatat(folder, path, info, flags);
}
inline int stat(const char* path, struct stat* info) { return g_calls.fstatat(AT_FDCWD, path, info, 0); }
inline int lstat(const char* path, struct stat* info)
{
    return g_calls.fstatat(AT_FDCWD, path, info, AT_SYMLINK_NOFOLLOW);
}
inline int flock(int fd, int operation) { return g_calls.flock(fd, operation); }
inline int fcntl(int fd, int command, int argument = 0) { return g_calls.fcntl(fd, command, argument); }
inline int ftruncate(int fd, off_t size) { return g_calls.ftruncate(fd, size); }
inline int fallocate(int fd, int mode, off_t offset, off_t size) { return g_calls.fallocate(fd, mode, offset, size); }
inline int unlinkat(int folder, const char* path, int flags) { return g_calls.unlinkat(folder, path, flags); }
inline int unlink(const char* path) { return g_calls.unlinkat(AT_FDCWD, path, 0); }
inline int renameat(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags = 0)
{
    return g_calls.renameat2(fromFolder, from, toFolder, to, flags);
}
inline int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    return g_calls.linkat(fromFolder, from, toFolder, to, flags);
}
inline int mkdirat(int folder, const char* path, mode_t mode) { return g_calls.mkdirat(folder, path, mode); }
inline char* getcwd(char* buffer, size_t size) { return g_calls.getcwd(buffer, size); }
inline int chdir(const char* path) { return g_calls.chdir(path); }
inline DIR* opendir(const char* path) { return g_calls.opendir(path); }
inline dirent* readdir(DIR* folder) { return g_calls.readdir(folder); }
inline int closedir(DIR* folder) { return g_calls.closedir(folder); }

// Writes every byte, again after an interruption or a short write. False
// when the system refuses them: errno says why, or is 0 when it took none.
inline bool WriteAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            errno = written == 0 ? 0 : errno;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace sys
