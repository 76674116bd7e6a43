// POSIX: file names are bytes; the platform layer's conversion keeps every
// name exact, including bytes that are not UTF-8 and backslashes in names.
#include "cli/native_path.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <climits>

#include "cli/system_reason.h"
#include "cli/text.h"

#include "platform/compound_file/file_io.h"
#include "platform/posix/syscalls.h"
#include "platform/posix/text.h"

fs::path NativePath(const std::u16string& text)
{
    return fs::path(ToNativePath(text.c_str()));
}

std::u16string PathText(const fs::path& path)
{
    return FromNativeName(path.native());
}

PathKind KindOf(const fs::path& path, bool followLinks, std::u16string* reason, std::uint64_t* size)
{
    struct stat info;
    if (sys::fstatat(AT_FDCWD, path.c_str(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return PathKind::None;
        if (reason != nullptr)
            *reason = SystemReason(static_cast<unsigned long>(errno));
        return PathKind::Unknown;
    }
    if (size != nullptr)
        *size = static_cast<std::uint64_t>(info.st_size);
    return S_ISREG(info.st_mode) ? PathKind::File : S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

std::u16string AbsolutePath(const std::u16string& path)
{
    if (!path.empty() && path[0] == u'/')
        return path;
    std::string current(PATH_MAX, '\0');
    while (sys::getcwd(&current[0], current.size()) == nullptr) {
        if (errno != ERANGE)
            return std::u16string();
        current.resize(current.size() * 2);
    }
    current.resize(current.find('\0'));
    std::u16string folder = FromNativeName(current);
    if (folder.empty() || folder.back() != u'/')
        folder += u'/';
    return folder + path;
}

std::u16string NameProblem(const std::u16string& component)
{
    // Any component without a slash or NUL (both excluded before) is a valid
    // name here, up to the length file systems allow. No unit takes more
    // than three bytes on disk, so a short name needs no conversion.
    if (component.size() * 3 > NAME_MAX && NameOnDisk(component).size() > NAME_MAX)
        return u"is longer than the " + Decimal(NAME_MAX) + u" bytes a file name can have";
    return std::u16string();
}

fs::path::string_type NameOnDisk(const std::u16string& component)
{
    return ToNativePath(component.c_str());
}

std::unique_ptr<cfb::ReadSource> OpenArchiveSource(const fs::path& path, std::string* error)
{
    return cfb::OpenFileSource(path.native(), *error);
}
