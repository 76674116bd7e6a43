#include "tests/posix/scratch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/posix/text.h"

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "tvp-posix-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    chmod(pattern.c_str(), 0755);
    path_ = fs::canonical(pattern).string();
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink())
            chmod(it->path().c_str(), 0755);
    }
    chmod(path_.c_str(), 0755);
    fs::remove_all(path_, ignored);
}

std::string ScratchDir::Native(const std::string& name) const
{
    return name.empty() ? path_ : path_ + "/" + name;
}

std::u16string ScratchDir::Text(const std::u16string& name) const
{
    std::u16string folder = FromNativeName(path_);
    for (char16_t& unit : folder) {
        if (unit == u'/')
            unit = u'\\';
    }
    return name.empty() ? folder : folder + u"\\" + name;
}

void WriteNative(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<WIN32_FIND_DATAW> Enumerate(const std::u16string& pattern)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        entries.push_back(entry);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return entries;
}

std::vector<std::u16string> EnumerateNames(const std::u16string& pattern)
{
    std::vector<std::u16string> names;
    for (const WIN32_FIND_DATAW& entry : Enumerate(pattern))
        names.emplace_back(entry.cFileName);
    return names;
}

bool RunUnprivileged(const std::function<bool()>& check)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const gid_t kNobodyGroup = 65534;
        const uid_t kNobody = 65534;
        if (geteuid() == 0 && (setgid(kNobodyGroup) != 0 || setuid(kNobody) != 0))
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int OpenDescriptorCount()
{
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr)
        return -1;
    while (readdir(fds) != nullptr)
        ++count;
    closedir(fds);
    return count;
}

std::string Show(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out;
}
