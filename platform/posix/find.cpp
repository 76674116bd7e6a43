// Directory enumeration: FindFirstFileExW, FindNextFileW, FindClose.
//
// The pattern is a directory, a separator ('\' or '/') and "*" (or "*.*",
// which Windows also reads as every name); a pattern without a directory
// lists the current one. Any other last component is refused with EINVAL:
// the layer does not match names against wildcards. The whole directory is
// read and sorted when the search opens, so the directory itself is not kept
// open, and a search sees the directory as it was at that moment. A directory
// reached through a link that leads back up its own path is refused (ELOOP),
// so that walks end at the link instead of going round until the path limit.
#include <errno.h>
#include <string.h>

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/directory_listing.h"
#include "platform/posix/handles.h"
#include "platform/posix/link_loops.h"
#include "platform/posix/text.h"

namespace {

struct SearchObject : HandleHeader {
    static constexpr HandleKind kKind = HandleKind::Search;
    SearchObject() : HandleHeader(kKind) {}
    std::vector<ListedEntry> entries;
    std::size_t next = 0;
};

bool IsSeparator(char16_t unit)
{
    return unit == u'\\' || unit == u'/';
}

// Splits the pattern into the native directory to list; false when the last
// component is not one this layer understands.
bool PatternDirectory(const WCHAR* pattern, std::string* directory)
{
    std::u16string text(pattern);
    std::size_t separator = text.size();
    while (separator > 0 && !IsSeparator(text[separator - 1]))
        --separator;
    std::u16string last = text.substr(separator);
    if (last != u"*" && last != u"*.*")
        return false;
    if (separator == 0) {
        *directory = ".";
        return true;
    }
    // Keep a lone leading separator: it is the root. Otherwise drop it.
    std::u16string folder = text.substr(0, separator == 1 ? 1 : separator - 1);
    *directory = ToNativePath(folder.c_str());
    return true;
}

void Fill(const ListedEntry& entry, WIN32_FIND_DATAW* data)
{
    // Every field but the names, which get their terminating NUL below
    // (clearing the whole record for each entry costs more than the rest).
    memset(data, 0, offsetof(WIN32_FIND_DATAW, cFileName));
    data->cAlternateFileName[0] = 0;
    data->dwFileAttributes = entry.attributes;  // sizes and times stay zero (directory_listing.cpp)
    // A POSIX name has at most 255 bytes, hence at most 255 units; the cut
    // only keeps an impossible longer name from overrunning the record.
    std::size_t length = entry.name.size() < MAX_PATH - 1 ? entry.name.size() : MAX_PATH - 1;
    entry.name.copy(data->cFileName, length);
    data->cFileName[length] = 0;
}

}  // namespace

HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, void* findData,
                        FINDEX_SEARCH_OPS search, void* filter, DWORD /*flags: hints only*/)
{
    bool known = (level == FindExInfoStandard || level == FindExInfoBasic) &&
                 (search == FindExSearchNameMatch || search == FindExSearchLimitToDirectories);
    if (pattern == nullptr || findData == nullptr || filter != nullptr || !known) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    // Callers are C-style code: running out of memory is a failed search, not an exception.
    try {
        std::string directory;
        if (!PatternDirectory(pattern, &directory)) {
            errno = EINVAL;
            return INVALID_HANDLE_VALUE;
        }
        if (RevisitsDirectory(directory)) {
            errno = ELOOP;
            return INVALID_HANDLE_VALUE;
        }
        auto object = std::make_unique<SearchObject>();
        if (!ListDirectory(directory, &object->entries))
            return INVALID_HANDLE_VALUE;
        if (object->entries.empty()) {
            errno = ENOENT;
            return INVALID_HANDLE_VALUE;
        }
        Fill(object->entries[0], static_cast<WIN32_FIND_DATAW*>(findData));
        object->next = 1;
        return static_cast<HANDLE>(static_cast<HandleHeader*>(object.release()));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return INVALID_HANDLE_VALUE;
    }
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData)
{
    SearchObject* object = HandleObject<SearchObject>(find);
    if (object == nullptr || findData == nullptr || object->next >= object->entries.size())
        return FALSE;
    Fill(object->entries[object->next], findData);
    ++object->next;
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    SearchObject* object = HandleObject<SearchObject>(find);
    if (object == nullptr)
        return FALSE;
    delete object;
    return TRUE;
}
