#include "platform/posix/syscalls.h"

#include <stdio.h>
#include <sys/file.h>

namespace sys {
namespace {

// The calls whose C signature differs from the table's take their optional
// argument always.
int Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int Openat(int folder, const char* path, int flags, mode_t mode) { return ::openat(folder, path, flags, mode); }
int Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

// A constant, so that both tables are filled before any code runs.
constexpr Calls kSystem = {
    Open,      Openat,    ::close,     ::read,      ::readv,     ::write,     ::pread,    ::pwrite,    ::fstat,
    ::fstatat, ::flock,   Fcntl,       ::ftruncate, ::fallocate, ::unlinkat, ::renameat2, ::linkat,
    ::mkdirat, ::getcwd,  ::chdir,     ::opendir,   ::readdir,   ::closedir,
};

}  // namespace

const Calls kSystemCalls = kSystem;
Calls g_calls = kSystem;

}  // namespace sys
