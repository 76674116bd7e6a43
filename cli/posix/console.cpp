// POSIX console: UTF-8 bytes on the standard streams.
#include "cli/console.h"

#include <errno.h>
#include <unistd.h>

#include "cli/system_reason.h"
#include "platform/posix/syscalls.h"
#include "platform/posix/text.h"

namespace {

// UTF-16 to the bytes the system would use for the same names. A backslash
// stays a backslash: the packer's texts use it as the separator of the paths
// they quote, and printing them as they are keeps every transcript the same
// on every system.
std::string Bytes(const std::u16string& text)
{
    std::string bytes;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = text.find(u'\\', start);
        std::u16string piece = text.substr(start, slash == std::u16string::npos ? slash : slash - start);
        bytes += ToNativePath(piece.c_str());
        if (slash == std::u16string::npos)
            return bytes;
        bytes += '\\';
        start = slash + 1;
    }
}

bool g_outputFailed = false;
int g_outputError = 0;  // why standard output failed: an errno value

// Standard output, when a write to it failed (error 0: the system took nothing).
void OutputFailedWith(int error)
{
    g_outputError = g_outputFailed ? g_outputError : error != 0 ? error : EIO;
    g_outputFailed = true;
}

}  // namespace

bool IsTerminal(Channel channel)
{
    return isatty(channel == Channel::Out ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

bool InputIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

void WriteText(Channel channel, const std::u16string& text)
{
    std::string bytes = Bytes(text);
    if (!sys::WriteAll(channel == Channel::Out ? STDOUT_FILENO : STDERR_FILENO, bytes.data(), bytes.size()) &&
        channel == Channel::Out)
        OutputFailedWith(errno);
}

bool WriteOutputBytes(const std::uint8_t* data, std::size_t size)
{
    if (!sys::WriteAll(STDOUT_FILENO, data, size))
        OutputFailedWith(errno);
    return !g_outputFailed;
}

bool OutputFailed()
{
    return g_outputFailed;
}

std::u16string OutputFailure()
{
    return g_outputFailed ? SystemReason(static_cast<unsigned long>(g_outputError)) : std::u16string();
}

void RewriteTerminalLine(std::size_t, const std::u16string& text)
{
    // Carriage return, then erase to the end of the line.
    WriteText(Channel::Out, u"\r\x1B[K" + text);
}

bool ReadInputLine(std::string* line)
{
    line->clear();
    // A byte at a time: what follows the line stays for the next question.
    for (char byte = 0;;) {
        const ssize_t got = sys::read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return !line->empty();
        if (byte == '\n')
            break;
        *line += byte;
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}
