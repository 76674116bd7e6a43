#include "cli/system_reason.h"

#include <cerrno>
#include <cstring>

#include "cli/text.h"
#include "platform/posix/win32_subset.h"

std::u16string SystemReason(unsigned long code)
{
    switch (code) {
    case kErrorIsFifo: return u"it is a FIFO (a named pipe), not a regular file";
    case kErrorIsDevice: return u"it is a device, not a regular file";
    case kErrorIsSocket: return u"it is a socket, not a regular file";
    case kErrorNotRegular: return u"it is not a regular file";
    case kErrorChanged: return u"it changed while it was read";
    // A lock, the only thing that answers "try again" for a file here.
    case EWOULDBLOCK: return u"another program holds it";
    default: return Widen(std::strerror(static_cast<int>(code)));
    }
}
