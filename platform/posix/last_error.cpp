// GetLastError and SetLastError: every call of this layer that fails leaves
// its reason in errno, as the system calls below it do.
#include <errno.h>

#include "platform/posix/win32_subset.h"

DWORD GetLastError()
{
    return static_cast<DWORD>(errno);
}

void SetLastError(DWORD code)
{
    errno = static_cast<int>(code);
}
