// POSIX: the folder is a directory descriptor, and every component below it
// is opened with openat() relative to the descriptor of the one before, with
// O_NOFOLLOW, so a link swapped in anywhere on the way is refused instead of
// followed.
#include "cli/output_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/system_reason.h"
#include "cli/text.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/syscalls.h"

namespace {

std::string NameOf(const std::u16string& component)
{
    return NativePath(component).native();
}

// Opens the folder `name` in `folder`; a link or a file there fails with
// ELOOP or ENOTDIR.
int OpenFolder(int folder, const std::string& name)
{
    int fd;
    do {
        fd = sys::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

OnDisk KindOf(const struct stat& info)
{
    if (S_ISLNK(info.st_mode))
        return OnDisk::Link;
    if (S_ISDIR(info.st_mode))
        return OnDisk::Folder;
    return S_ISREG(info.st_mode) ? OnDisk::File : OnDisk::Other;
}

// Creates the new, empty file that a file extract writes starts as: unnamed
// (O_TMPFILE) in `folder`, given its name only when complete, so that no
// way of ending the process leaves part of it. Where the file system has no
// unnamed files, it gets a temporary name instead (kept in *name), never the
// name the file is to have, and an interrupt removes it.
int CreateTemporary(int folder, const std::string& final, std::string* name)
{
    name->clear();
    int fd;
    do {
        fd = sys::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    static unsigned created = 0;
    InterruptsHeld held;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        *name = ".tvpack-" + std::to_string(::getpid()) + "-" + std::to_string(++created);
        if (*name == final)
            continue;
        do {
            fd = sys::openat(folder, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            RemoveOnInterrupt(folder, name->c_str());
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    if (fd < 0)
        name->clear();
    return fd;  // errno is EEXIST after the last attempt
}

// Gives the unnamed file fd a temporary name in `folder` (kept in *name),
// never `final`; -1 with errno set when it can't.
int NameTemporary(int fd, int folder, const std::string& final, std::string* name)
{
    static unsigned named = 0;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    InterruptsHeld held;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        *name = ".tvpack-" + std::to_string(::getpid()) + "-n" + std::to_string(++named);
        if (*name == final)
            continue;
        if (sys::linkat(AT_FDCWD, self.c_str(), folder, name->c_str(), AT_SYMLINK_FOLLOW) == 0) {
            RemoveOnInterrupt(folder, name->c_str());
            return 0;
        }
        if (errno != EEXIST)
            break;
    }
    name->clear();
    return -1;
}

// Renames `from` to `to` in `folder` unless `to` exists (EEXIST then).
int RenameToNewName(int folder, const char* from, const char* to)
{
#ifdef RENAME_NOREPLACE
    if (sys::renameat(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // Without that flag: a second link under the new name, which fails when
    // the name is taken, then the temporary name goes.
    if (sys::linkat(folder, from, folder, to, 0) != 0)
        return -1;
    sys::unlinkat(folder, from, 0);
    return 0;
}

}  // namespace

OutputTree::~OutputTree()
{
    if (handle_ >= 0)
        sys::close(static_cast<int>(handle_));
}

std::u16string OutputTree::OpenRoot(bool create)
{
    int fd;
    do {
        fd = sys::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ENOENT && !create)
        return std::u16string();
    if (fd < 0)
        return errno == ENOTDIR ? u"not a folder" : SystemReason(errno);
    if (handle_ >= 0)
        sys::close(static_cast<int>(handle_));
    handle_ = fd;
    return std::u16string();
}

std::u16string OutputTree::Look(const std::vector<std::u16string>& components, std::vector<OnDisk>* kinds) const
{
    kinds->clear();
    if (handle_ < 0) {
        kinds->push_back(OnDisk::Missing);
        return std::u16string();
    }
    int folder = static_cast<int>(handle_);
    int opened = -1;  // the folder this walk opened, closed when left
    std::u16string problem;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string name = NameOf(components[i]);
        struct stat info;
        if (sys::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                kinds->push_back(OnDisk::Missing);
            else
                problem = SystemReason(errno);
            break;
        }
        kinds->push_back(KindOf(info));
        if (kinds->back() != OnDisk::Folder || i + 1 == components.size())
            break;
        int next = OpenFolder(folder, name);
        if (next < 0) {
            problem = SystemReason(errno);
            break;
        }
        if (opened >= 0)
            sys::close(opened);
        folder = opened = next;
    }
    if (opened >= 0)
        sys::close(opened);
    return problem;
}

OutputFile::~OutputFile()
{
    Discard();
}

std::u16string OutputFile::Create(const OutputTree& tree, const std::vector<std::u16string>& components)
{
    path_ = tree.PathOf(components, components.size());
    name_ = NameOf(components.back());
    int folder = sys::fcntl(static_cast<int>(tree.handle_), F_DUPFD_CLOEXEC, 0);
    if (folder < 0)
        return u"can't be created: " + SystemReason(errno);
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string name = NameOf(components[i]);
        const std::u16string at = Quoted(PathText(tree.PathOf(components, i + 1)));
        int error = sys::mkdirat(folder, name.c_str(), 0777) == 0 ? 0 : errno;
        int next = -1;
        if (error == 0 || error == EEXIST) {
            next = OpenFolder(folder, name);
            error = next < 0 ? errno : 0;
        }
        sys::close(folder);
        if (next < 0 && (error == ELOOP || error == ENOTDIR))
            return u"folder " + at + u" is not a plain folder";
        if (next < 0)
            return u"folder " + at + u" can't be created: " + SystemReason(error);
        folder = next;
    }
    folders_.push_back(folder);
    int fd = CreateTemporary(folder, name_, &temporary_);
    if (fd < 0)
        return u"can't be created: " + SystemReason(errno);
    file_ = fd;
    return std::u16string();
}

std::u16string OutputFile::Write(const std::uint8_t* data, std::size_t size)
{
    if (sys::WriteAll(static_cast<int>(file_), data, size))
        return std::u16string();
    return errno != 0 ? SystemReason(errno) : u"nothing was written";
}

std::u16string OutputFile::Commit(bool replace)
{
    int fd = static_cast<int>(file_);
    int folder = static_cast<int>(folders_.back());
    int result = 0;
    if (temporary_.empty() && replace) {
        // A name first, which then replaces the old file in one step.
        result = NameTemporary(fd, folder, name_, &temporary_);
    } else if (temporary_.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        result = sys::linkat(AT_FDCWD, self.c_str(), folder, name_.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (result == 0 && !temporary_.empty())
        result = replace ? sys::renameat(folder, temporary_.c_str(), folder, name_.c_str())
                         : RenameToNewName(folder, temporary_.c_str(), name_.c_str());
    if (result != 0) {
        int error = errno;
        Discard();
        return NamingFailed(error == EEXIST, SystemReason(error));
    }
    temporary_.clear();
    KeepOnInterrupt();
    // Named and complete as far as this process can tell; a late failure
    // is reported all the same.
    file_ = -1;
    std::u16string problem;
    if (sys::close(fd) != 0 && errno != EINTR)
        problem = u"can't be written: " + SystemReason(errno);
    Discard();
    return problem;
}

void OutputFile::Discard()
{
    if (file_ >= 0)
        sys::close(static_cast<int>(file_));
    file_ = -1;
    if (!temporary_.empty())
        sys::unlinkat(static_cast<int>(folders_.back()), temporary_.c_str(), 0);
    temporary_.clear();
    KeepOnInterrupt();
    for (std::intptr_t folder : folders_)
        sys::close(static_cast<int>(folder));
    folders_.clear();
}

bool OutputTree::IdentityOf(const std::vector<std::u16string>& components, FileIdentity* identity) const
{
    struct stat info;
    if (sys::lstat(PathOf(components, components.size()).c_str(), &info) != 0)
        return false;
    *identity = FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

bool OutputFile::Identity(FileIdentity* identity) const
{
    struct stat info;
    if (sys::fstat(static_cast<int>(file_), &info) != 0)
        return false;
    *identity = FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}
