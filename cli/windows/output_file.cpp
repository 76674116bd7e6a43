#include "cli/output_file.h"

#include <windows.h>

#include "cli/text.h"

namespace {

std::u16string SystemReason()
{
    DWORD code = GetLastError();
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string reason;
    if (length != 0 && text != nullptr)
        reason.assign(text, text + length);
    if (text != nullptr)
        LocalFree(text);
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' || reason.back() == u'.' ||
                               reason.back() == u' '))
        reason.pop_back();
    return reason.empty() ? u"Windows error " + Decimal(code) : reason;
}

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

OutputFile::~OutputFile()
{
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
}

std::u16string OutputFile::Create(const fs::path& path, bool replace)
{
    // A symbolic link or junction at the path is opened as itself, and then
    // refused, instead of being followed.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, replace ? OPEN_ALWAYS : CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return SystemReason();
    handle_ = reinterpret_cast<std::intptr_t>(file);
    if (replace) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return u"a link is in the way";
        if (!SetEndOfFile(file))
            return SystemReason();
    }
    return std::u16string();
}

std::u16string OutputFile::Write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        DWORD piece = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), data, piece, &written, nullptr))
            return SystemReason();
        if (written == 0)
            return u"nothing was written";
        data += written;
        size -= written;
    }
    return std::u16string();
}

std::u16string OutputFile::Close()
{
    HANDLE file = AsHandle(handle_);
    handle_ = -1;
    if (file != AsHandle(-1) && !CloseHandle(file))
        return SystemReason();
    return std::u16string();
}
