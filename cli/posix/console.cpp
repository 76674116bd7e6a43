// POSIX console: UTF-8 bytes on the standard streams.
#include "cli/console.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

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

std::FILE* Stream(Channel channel)
{
    return channel == Channel::Out ? stdout : stderr;
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
    std::FILE* stream = Stream(channel);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    if ((std::fflush(stream) != 0 || !written) && channel == Channel::Out)
        g_outputFailed = true;
}

bool WriteOutputBytes(const std::uint8_t* data, std::size_t size)
{
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
        g_outputFailed = true;
    return !g_outputFailed;
}

bool OutputFailed()
{
    return g_outputFailed;
}

void RewriteTerminalLine(std::size_t, const std::u16string& text)
{
    // Carriage return, then erase to the end of the line.
    WriteText(Channel::Out, u"\r\x1B[K" + text);
}

bool ReadInputLine(std::string* line)
{
    line->clear();
    if (!std::getline(std::cin, *line))
        return !line->empty();
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}
