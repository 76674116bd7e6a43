#include "platform/posix/written_archive.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include "platform/posix/syscalls.h"

namespace {

// A compound file's header: its first sector.
constexpr off_t kHeaderBytes = 512;

bool g_remembered = false;
dev_t g_device = 0;
ino_t g_inode = 0;

}  // namespace

void RememberWrittenArchive(const struct stat& file)
{
    g_remembered = true;
    g_device = file.st_dev;
    g_inode = file.st_ino;
}

bool SpoilUndeletedArchive(const char* path)
{
    if (!g_remembered)
        return false;
    int fd = sys::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool spoiled = false;
    if (sys::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == g_device && info.st_ino == g_inode &&
        info.st_size >= kHeaderBytes && !(sys::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
        static const unsigned char zeros[kHeaderBytes] = {};
        spoiled = sys::pwrite(fd, zeros, sizeof zeros, 0) == kHeaderBytes;
    }
    sys::close(fd);
    return spoiled;
}
