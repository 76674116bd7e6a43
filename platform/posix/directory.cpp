// The process's current directory: GetCurrentDirectoryW, SetCurrentDirectoryW.
#include <errno.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/posix/text.h"
#include "platform/posix/syscalls.h"

namespace {

// The current directory as a native path; false with errno set on failure
// (it was removed, or a folder above it can't be read).
bool CurrentNativeDirectory(std::string* path)
{
    std::string buffer(256, '\0');
    for (;;) {
        if (sys::getcwd(&buffer[0], buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            *path = buffer;
            return true;
        }
        if (errno != ERANGE)
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

// As on Windows: on success the length without the terminating NUL; when the
// buffer is too small, the capacity needed (NUL included) and the buffer is
// left alone; 0 on failure.
DWORD GetCurrentDirectoryW(DWORD capacity, LPWSTR buffer)
{
    try {
        std::string native;
        if (!CurrentNativeDirectory(&native))
            return 0;
        std::u16string text = FromNativeName(native);
        if (buffer == nullptr || capacity <= text.size())
            return static_cast<DWORD>(text.size() + 1);
        text.copy(buffer, text.size());
        buffer[text.size()] = 0;
        return static_cast<DWORD>(text.size());
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return 0;
    }
}

BOOL SetCurrentDirectoryW(LPCWSTR path)
{
    if (path == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    try {
        return sys::chdir(ToNativePath(path).c_str()) == 0 ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return FALSE;
    }
}
