#include "cli/system_reason.h"

#include <windows.h>

#include "cli/text.h"

std::u16string SystemReason(unsigned long code)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                  nullptr);
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
