// Reading a directory for an enumeration.
//
// What each entry reports, the facts the walks use:
// - FILE_ATTRIBUTE_DIRECTORY when the entry is a directory or a symbolic link
//   to one (links are followed, as the packer walks what a link leads to);
//   a dangling link is a plain file.
// - FILE_ATTRIBUTE_HIDDEN for names that start with a dot ("." and ".."
//   excepted), the POSIX convention for hidden files.
// - FILE_ATTRIBUTE_NORMAL when nothing else applies.
// Sizes and times are left at zero: no walk reads them, and looking them up
// would cost a call per entry. The type the listing gives decides, and an
// entry is looked at only when it is a link or of a type the file system
// does not give; one that has gone by then is left out, one that can't be
// looked at (behind a folder that is not searchable) is a plain file.
#include "platform/posix/directory_listing.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/posix/ntfs_order.h"
#include "platform/posix/text.h"
#include "platform/posix/upcase_table.h"
#include "platform/posix/syscalls.h"

namespace {

bool IsDotName(const std::string& name)
{
    return name == "." || name == "..";
}

DWORD NameAttributes(const std::string& name)
{
    return !name.empty() && name[0] == '.' && !IsDotName(name) ? FILE_ATTRIBUTE_HIDDEN : 0;
}

// Fills the entry for name inside the open directory `folder`; false when it
// no longer exists.
bool DescribeEntry(int folder, const std::string& name, unsigned char type, ListedEntry* entry)
{
    entry->name = FromNativeName(name);
    entry->attributes = NameAttributes(name);
    bool directory = type == DT_DIR;
    struct stat info;
    if (type != DT_DIR && type != DT_REG) {
        if (sys::fstatat(folder, name.c_str(), &info, 0) == 0)
            directory = S_ISDIR(info.st_mode);
        else if (errno == ENOENT && sys::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 &&
                 errno == ENOENT)
            return false;
    }
    if (directory)
        entry->attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (entry->attributes == 0)
        entry->attributes = FILE_ATTRIBUTE_NORMAL;
    return true;
}

// Reads every name of the open directory; false with errno set on failure.
bool ReadNames(DIR* stream, std::vector<std::pair<std::string, unsigned char>>* names)
{
    for (;;) {
        errno = 0;
        dirent* item = sys::readdir(stream);
        if (item == nullptr)
            return errno == 0;
        names->emplace_back(item->d_name, item->d_type);
    }
}

// Closes the directory without disturbing errno.
struct Closer {
    void operator()(DIR* stream) const
    {
        int error = errno;
        sys::closedir(stream);
        errno = error;
    }
};

}  // namespace

bool ListDirectory(const std::string& nativeDirectory, std::vector<ListedEntry>* entries)
{
    std::unique_ptr<DIR, Closer> stream(sys::opendir(nativeDirectory.c_str()));
    if (stream == nullptr)
        return false;
    std::vector<std::pair<std::string, unsigned char>> names;
    if (!ReadNames(stream.get(), &names))
        return false;
    const int folder = dirfd(stream.get());

    entries->clear();
    entries->reserve(names.size() + 2);
    for (const char* dot : {".", ".."}) {
        ListedEntry entry;
        if (DescribeEntry(folder, dot, DT_DIR, &entry))
            entries->push_back(entry);
    }

    struct Sortable {
        std::u16string upper;
        ListedEntry entry;
    };
    std::vector<Sortable> others;
    others.reserve(names.size());
    for (const auto& [name, type] : names) {
        Sortable item;
        if (IsDotName(name) || !DescribeEntry(folder, name, type, &item.entry))
            continue;
        item.upper = UpcaseText(item.entry.name);
        others.push_back(std::move(item));
    }
    std::sort(others.begin(), others.end(), [](const Sortable& a, const Sortable& b) {
        return NtfsNameLess(a.upper, a.entry.name, b.upper, b.entry.name);
    });
    for (Sortable& item : others)
        entries->push_back(std::move(item.entry));
    return true;
}
