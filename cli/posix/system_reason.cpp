#include "cli/system_reason.h"

#include <cstring>

#include "cli/text.h"

std::u16string SystemReason(unsigned long code)
{
    return Widen(std::strerror(static_cast<int>(code)));
}
