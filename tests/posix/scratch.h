// Scratch folders and small helpers for the POSIX layer's tests.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/posix/text.h"
#include "platform/posix/win32_subset.h"

// A fresh folder, removed with its contents.
class ScratchDir {
public:
    ScratchDir() : path_((std::filesystem::temp_directory_path() / "tvp-posix-XXXXXX").string())
    {
        if (mkdtemp(&path_[0]) == nullptr || chmod(path_.c_str(), 0755) != 0)  // nobody may enter
            throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(path_).string();
    }
    ~ScratchDir() { std::error_code ignored; std::filesystem::remove_all(path_, ignored); }
    ScratchDir(const ScratchDir&) = delete;

    // The native path of name inside the folder ("" for the folder itself).
    std::string Native(const std::string& name = "") const
    {
        return name.empty() ? path_ : path_ + "/" + name;
    }
    // The same path as the packer writes it: UTF-16 with backslashes.
    std::u16string Text(const std::u16string& name = u"") const
    {
        std::u16string folder = FromNativeName(path_);
        for (char16_t& unit : folder)
            unit = unit == u'/' ? u'\\' : unit;
        return name.empty() ? folder : folder + u"\\" + name;
    }

private:
    std::string path_;
};

inline void WriteNative(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    if (!(out << bytes))
        throw std::runtime_error("cannot write " + path);
}

// Every entry a search delivers for the pattern; empty when it can't be opened.
inline std::vector<WIN32_FIND_DATAW> Enumerate(const std::u16string& pattern)
{
    std::vector<WIN32_FIND_DATAW> entries(1);
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entries[0],
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    for (WIN32_FIND_DATAW entry; FindNextFileW(search, &entry);)
        entries.push_back(entry);
    FindClose(search);
    return entries;
}

// Runs check in a child process, as nobody when the tests run as root
// (permission checks don't apply to root). True when check returned true.
inline bool RunUnprivileged(const std::function<bool()>& check)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Printable ASCII as is, every other unit as \uXXXX.
inline std::string Show(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
        out += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : escaped;
    }
    return out;
}
