#include "platform/posix/link_loops.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <vector>
#include "platform/posix/syscalls.h"

bool RevisitsDirectory(const std::string& nativePath)
{
    using Identity = std::pair<dev_t, ino_t>;
    std::vector<Identity> chain;
    std::string prefix;
    std::size_t start = 0;
    if (!nativePath.empty() && nativePath[0] == '/') {
        prefix = "/";
        start = 1;
    }
    while (start <= nativePath.size()) {
        std::size_t end = nativePath.find('/', start);
        if (end == std::string::npos)
            end = nativePath.size();
        std::string component = nativePath.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (!prefix.empty() && prefix.back() != '/')
            prefix += '/';
        prefix += component;
        if (component == "..") {
            if (!chain.empty())
                chain.pop_back();
            continue;
        }
        struct stat info;
        if (sys::stat(prefix.c_str(), &info) != 0)
            return false;  // the listing itself will report what is wrong
        Identity identity{info.st_dev, info.st_ino};
        if (std::find(chain.begin(), chain.end(), identity) != chain.end())
            return true;
        chain.push_back(identity);
    }
    return false;
}
