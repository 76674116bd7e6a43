// _snwprintf_s with the conversions the packer uses: %s (a UTF-16 string;
// null prints "(null)"), %u, %d and %%. Flags, widths and other conversions
// are refused (EINVAL, empty buffer, -1).
//
// At most min(count, capacity - 1) units are written, then a NUL. Text that
// is cut returns -1. As in the Windows run-time, cutting is only allowed at
// `count`: when count is capacity or more (other than the truncation request
// SIZE_MAX) and the text does not fit the buffer, the buffer is left empty,
// errno is ERANGE and the result is -1.
#include <errno.h>
#include <stdarg.h>

#include <cstdint>

#include "platform/posix/win32_subset.h"

namespace {

constexpr std::size_t kTruncate = SIZE_MAX;

class Output {
public:
    Output(WCHAR* buffer, std::size_t limit) : buffer_(buffer), limit_(limit) {}

    void Put(WCHAR unit)
    {
        if (written_ < limit_)
            buffer_[written_++] = unit;
        else
            cut_ = true;
    }

    void Put(const WCHAR* text)
    {
        for (; *text != 0 && !cut_; ++text)
            Put(*text);
    }

    void PutDecimal(std::uint64_t value, bool negative)
    {
        WCHAR digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<WCHAR>(u'0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (negative)
            Put(u'-');
        while (count > 0)
            Put(digits[--count]);
    }

    std::size_t Finish()
    {
        buffer_[written_] = 0;
        return written_;
    }

    bool cut() const { return cut_; }

private:
    WCHAR* buffer_;
    std::size_t limit_;
    std::size_t written_ = 0;
    bool cut_ = false;
};

// Formats into out; false on a conversion this layer does not know.
bool Format(Output& out, const WCHAR* format, va_list args)
{
    for (const WCHAR* at = format; *at != 0 && !out.cut(); ++at) {
        if (*at != u'%') {
            out.Put(*at);
            continue;
        }
        ++at;
        switch (*at) {
        case u'%':
            out.Put(u'%');
            break;
        case u's': {
            const WCHAR* text = va_arg(args, const WCHAR*);
            out.Put(text != nullptr ? text : u"(null)");
            break;
        }
        case u'u':
            out.PutDecimal(va_arg(args, unsigned), false);
            break;
        case u'd': {
            long long value = va_arg(args, int);
            out.PutDecimal(static_cast<std::uint64_t>(value < 0 ? -value : value), value < 0);
            break;
        }
        default:
            return false;  // includes a lone '%' at the end
        }
    }
    return true;
}

}  // namespace

int _snwprintf_s(WCHAR* buffer, std::size_t capacity, std::size_t count, const WCHAR* format, ...)
{
    if (buffer == nullptr || capacity == 0) {
        errno = EINVAL;
        return -1;
    }
    if (format == nullptr) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    bool mayCut = count < capacity || count == kTruncate;
    std::size_t limit = count < capacity - 1 ? count : capacity - 1;
    Output out(buffer, limit);
    va_list args;
    va_start(args, format);
    bool known = Format(out, format, args);
    va_end(args);
    std::size_t written = out.Finish();
    if (!known) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    if (out.cut()) {
        if (!mayCut) {
            buffer[0] = 0;
            errno = ERANGE;
        }
        return -1;
    }
    return static_cast<int>(written);
}
