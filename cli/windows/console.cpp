// Windows console: a real console gets UTF-16 through WriteConsoleW, so every
// character shows whatever the console's code page; redirected output gets
// UTF-8 bytes, written as they are (no "\n" to "\r\n" translation).
#include "cli/console.h"

#include <windows.h>

#include <string>

#include "cli/system_reason.h"

namespace {

bool g_outputFailed = false;
DWORD g_outputError = 0;  // why standard output failed

HANDLE Handle(Channel channel)
{
    return GetStdHandle(channel == Channel::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

bool WriteBytes(HANDLE handle, const char* data, std::size_t size)
{
    while (size > 0) {
        DWORD piece = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool WriteConsoleText(HANDLE handle, const std::wstring& text)
{
    const wchar_t* data = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        DWORD piece = size > 0x4000u ? 0x4000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteConsoleW(handle, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

// Standard output, when a write to it failed.
void OutputFailedWith(DWORD error)
{
    g_outputError = g_outputFailed ? g_outputError : error;
    g_outputFailed = true;
}

}  // namespace

bool IsTerminal(Channel channel)
{
    return IsConsole(Handle(channel));
}

bool InputIsTerminal()
{
    return IsConsole(GetStdHandle(STD_INPUT_HANDLE));
}

void WriteText(Channel channel, const std::u16string& text)
{
    HANDLE handle = Handle(channel);
    bool written = false;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        std::wstring wide(text.begin(), text.end());
        if (IsConsole(handle)) {
            // The console moves to the next line on "\n" alone.
            written = WriteConsoleText(handle, wide);
        } else {
            std::string bytes = Utf8(wide);
            written = WriteBytes(handle, bytes.data(), bytes.size());
        }
    }
    if (!written && channel == Channel::Out)
        OutputFailedWith(GetLastError());
}

bool WriteOutputBytes(const std::uint8_t* data, std::size_t size)
{
    // Straight to the handle: the C runtime's text mode never sees them.
    HANDLE handle = Handle(Channel::Out);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !WriteBytes(handle, reinterpret_cast<const char*>(data), size))
        OutputFailedWith(GetLastError());
    return !g_outputFailed;
}

bool OutputFailed()
{
    return g_outputFailed;
}

std::u16string OutputFailure()
{
    return g_outputFailed ? SystemReason(g_outputError) : std::u16string();
}

void RewriteTerminalLine(std::size_t oldLength, const std::u16string& text)
{
    // Consoles without escape sequences: blank the old text, then write anew.
    WriteText(Channel::Out, u"\r" + std::u16string(oldLength, u' ') + u"\r" + text);
}

bool ReadInputLine(std::string* line)
{
    line->clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return false;
    for (;;) {
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0)
            return !line->empty();
        if (byte == '\n')
            break;
        *line += byte;
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}
