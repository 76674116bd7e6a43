#include "platform/posix/syscalls.h"

#include <errno.h>
#include <stdio.h>
#include <sys/file.h>

namespace sys {
namespace {

// The calls whose C signature differs from the table's take their optional
// argument always.
int Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int Openat(int folder, const char* path, int flags, mode_t mode) { return ::openat(folder, path, flags, mode); }
int Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
#ifdef __linux__
int Fallocate(int fd, int mode, off_t offset, off_t size) { return ::fallocate(fd, mode, offset, size); }
int Renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    return ::renameat2(fromFolder, from, toFolder, to, flags);
}
#else
int Fallocate(int, int, off_t, off_t)
{
    errno = EOPNOTSUPP;
    return -1;
}
int Renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    if (flags == 0)
        return ::renameat(fromFolder, from, toFolder, to);
    errno = EINVAL;
    return -1;
}
#endif

// A constant, so that both tables are filled before any code runs.
constexpr Calls kSystem = {
    Open,      Openat,    ::close,     ::read,      ::readv,     ::write,     ::pread,    ::pwrite,    ::fstat,
    ::fstatat, ::flock,   Fcntl,       ::ftruncate, Fallocate, ::unlinkat, Renameat2, ::linkat,
    ::mkdirat, ::getcwd,  ::chdir,     ::opendir,   ::readdir,   ::closedir,
};

}  // namespace

const Calls kSystemCalls = kSystem;
Calls g_calls = kSystem;

}  // namespace sys
