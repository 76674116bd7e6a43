// Reading a directory for an enumeration.
//
// What each entry reports:
// - FILE_ATTRIBUTE_DIRECTORY when the entry is a directory or a symbolic link
//   to one (links are followed, as the packer walks what a link leads to);
//   a dangling link is a plain file with no content.
// - FILE_ATTRIBUTE_READONLY when the owner may not write it.
// - FILE_ATTRIBUTE_HIDDEN for names that start with a dot ("." and ".."
//   excepted), the POSIX convention for hidden files.
// - FILE_ATTRIBUTE_NORMAL when nothing else applies.
// - The last write and last access times. POSIX keeps no creation time.
// An entry that disappears between being listed and being looked at is left
// out; one that can be listed but not looked at (a directory readable but not
// searchable) is described by the type the listing gives.
#include "platform/posix/directory_listing.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/posix/ntfs_order.h"
#include "platform/posix/text.h"
#include "platform/posix/syscalls.h"

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;

FILETIME ToFileTime(const timespec& time)
{
    std::int64_t ticks = kUnixEpochInFileTime + static_cast<std::int64_t>(time.tv_sec) * 10000000 +
                         time.tv_nsec / 100;
    if (ticks < 0)
        ticks = 0;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return result;
}

bool IsDotName(const std::string& name)
{
    return name == "." || name == "..";
}

DWORD NameAttributes(const std::string& name)
{
    return !name.empty() && name[0] == '.' && !IsDotName(name) ? FILE_ATTRIBUTE_HIDDEN : 0;
}

void Describe(const struct stat& info, ListedEntry* entry)
{
    if (S_ISDIR(info.st_mode)) {
        entry->attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (!S_ISLNK(info.st_mode)) {
        entry->size = static_cast<std::uint64_t>(info.st_size);
    }
    if ((info.st_mode & S_IWUSR) == 0)
        entry->attributes |= FILE_ATTRIBUTE_READONLY;
    entry->lastWrite = ToFileTime(info.st_mtim);
    entry->lastAccess = ToFileTime(info.st_atim);
}

// Fills the entry for name inside directory; false when it no longer exists.
bool DescribeEntry(const std::string& directory, const std::string& name, unsigned char type,
                   ListedEntry* entry)
{
    std::string path = directory + "/" + name;
    entry->name = FromNativeName(name);
    entry->attributes = NameAttributes(name);
    struct stat info;
    if (sys::stat(path.c_str(), &info) == 0 || sys::lstat(path.c_str(), &info) == 0) {
        Describe(info, entry);
    } else if (errno == ENOENT) {
        return false;
    } else if (type == DT_DIR) {
        entry->attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (entry->attributes == 0)
        entry->attributes = FILE_ATTRIBUTE_NORMAL;
    return true;
}

// Reads every name of the directory; false with errno set on failure.
bool ReadNames(const std::string& directory, std::vector<std::pair<std::string, unsigned char>>* names)
{
    DIR* stream = sys::opendir(directory.c_str());
    if (stream == nullptr)
        return false;
    bool complete = true;
    for (;;) {
        errno = 0;
        dirent* item = sys::readdir(stream);
        if (item == nullptr) {
            complete = errno == 0;
            break;
        }
        names->emplace_back(item->d_name, item->d_type);
    }
    int readError = errno;
    sys::closedir(stream);
    errno = readError;
    return complete;
}

}  // namespace

bool ListDirectory(const std::string& nativeDirectory, std::vector<ListedEntry>* entries)
{
    std::vector<std::pair<std::string, unsigned char>> names;
    if (!ReadNames(nativeDirectory, &names))
        return false;

    entries->clear();
    entries->reserve(names.size() + 2);
    for (const char* dot : {".", ".."}) {
        ListedEntry entry;
        if (DescribeEntry(nativeDirectory, dot, DT_DIR, &entry))
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
        if (IsDotName(name) || !DescribeEntry(nativeDirectory, name, type, &item.entry))
            continue;
        item.upper = NtfsUpcaseName(item.entry.name);
        others.push_back(std::move(item));
    }
    std::sort(others.begin(), others.end(), [](const Sortable& a, const Sortable& b) {
        return NtfsNameLess(a.upper, a.entry.name, b.upper, b.entry.name);
    });
    for (Sortable& item : others)
        entries->push_back(std::move(item.entry));
    return true;
}
