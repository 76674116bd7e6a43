// Scratch folders and small helpers for the POSIX layer's tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/posix/win32_subset.h"

// A fresh folder (mode 0755, so an unprivileged child can reach it), removed
// with its contents, whatever their modes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The native path of name inside the folder ("" for the folder itself).
    std::string Native(const std::string& name = "") const;
    // The same path as the packer writes it: UTF-16 with backslashes.
    std::u16string Text(const std::u16string& name = u"") const;

private:
    std::string path_;
};

void WriteNative(const std::string& path, const std::string& bytes);

// Every entry a search delivers for the pattern; empty when it can't be opened.
std::vector<WIN32_FIND_DATAW> Enumerate(const std::u16string& pattern);
std::vector<std::u16string> EnumerateNames(const std::u16string& pattern);

// Runs check in a child process, as an unprivileged user when the tests run
// as root (permission checks don't apply to root). True when check returned true.
bool RunUnprivileged(const std::function<bool()>& check);

// Number of file descriptors this process has open.
int OpenDescriptorCount();

// Readable failure output for UTF-16 text: printable ASCII as is, the rest as \uXXXX.
std::string Show(const std::u16string& text);
