#include "cli/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/text.h"

namespace {

std::u16string SystemReason()
{
    return Widen(std::strerror(errno));
}

}  // namespace

OutputFile::~OutputFile()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

std::u16string OutputFile::Create(const fs::path& path, bool replace)
{
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (replace ? O_TRUNC : O_EXCL);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return SystemReason();
    handle_ = fd;
    return std::u16string();
}

std::u16string OutputFile::Write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(static_cast<int>(handle_), data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? SystemReason() : u"nothing was written";
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return std::u16string();
}

std::u16string OutputFile::Close()
{
    int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        return SystemReason();
    return std::u16string();
}
