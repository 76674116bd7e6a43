#include "cli/mod_tree.h"

#include <cstring>

#include "cli/system_reason.h"
#include "cli/text.h"
#include "platform/platform.h"

namespace {

// Deeper than any tree whose paths fit the packer's path limit.
constexpr int kMaxDepth = 200;

std::u16string Walk(const std::u16string& directory, const std::u16string& prefix,
                    std::vector<std::u16string>* files, int depth)
{
    if (depth > kMaxDepth)
        return u"folder " + Quoted(directory) + u" lies too deep (a link that leads back up?)";
    WIN32_FIND_DATAW entry;
    std::memset(&entry, 0, sizeof entry);
    PlatformText pattern = ToPlatformText(directory + u"\\*");
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return u"folder " + Quoted(directory) + u" can't be searched: " + SystemReason(GetLastError());
    std::u16string problem;
    do {
        std::u16string name = FromPlatformText(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files->push_back(prefix + u"\\" + name);
        else if (name != u"." && name != u"..")
            problem = Walk(directory + u"\\" + name, prefix + u"\\" + name, files, depth + 1);
    } while (problem.empty() && FindNextFileW(search, &entry));
    FindClose(search);
    return problem;
}

}  // namespace

std::u16string ListModFiles(const std::u16string& directory, const std::u16string& prefix,
                            std::vector<std::u16string>* files)
{
    return Walk(directory, prefix, files, 0);
}
