// _wsplitpath_s as the Windows run-time defines it, without drive letters.
//
// The folder runs to the last separator ('\' or '/') and keeps it; the
// extension starts at the last dot of the last component (so ".hidden" is all
// extension and no name); the name is what lies between. A buffer given with
// capacity 0, or a capacity given without a buffer, is EINVAL; a component
// that does not fit its buffer is ERANGE. On either error every buffer given
// is set to the empty string. A buffer that is not given (null, capacity 0)
// is simply not filled.
#include <errno.h>

#include "platform/posix/win32_subset.h"

namespace {

struct Part {
    WCHAR* buffer;
    std::size_t capacity;
};

void Clear(const Part& part)
{
    if (part.buffer != nullptr && part.capacity > 0)
        part.buffer[0] = 0;
}

bool Consistent(const Part& part)
{
    return (part.buffer == nullptr) == (part.capacity == 0);
}

bool Fits(const Part& part, std::size_t length)
{
    return part.buffer == nullptr || length < part.capacity;
}

void Copy(const Part& part, const WCHAR* from, std::size_t length)
{
    if (part.buffer == nullptr)
        return;
    for (std::size_t i = 0; i < length; ++i)
        part.buffer[i] = from[i];
    part.buffer[length] = 0;
}

}  // namespace

errno_t _wsplitpath_s(const WCHAR* path, WCHAR* drive, std::size_t driveCapacity, WCHAR* dir,
                      std::size_t dirCapacity, WCHAR* name, std::size_t nameCapacity, WCHAR* ext,
                      std::size_t extCapacity)
{
    const Part parts[] = {{drive, driveCapacity}, {dir, dirCapacity}, {name, nameCapacity},
                          {ext, extCapacity}};
    bool consistent = true;
    for (const Part& part : parts)
        consistent = consistent && Consistent(part);
    if (path == nullptr || !consistent) {
        for (const Part& part : parts)
            Clear(part);
        return EINVAL;
    }

    // Component boundaries: [0, nameStart) folder, [nameStart, dot) name, [dot, end) extension.
    std::size_t end = 0;
    std::size_t nameStart = 0;
    std::size_t lastDot = 0;
    bool sawDot = false;
    for (; path[end] != 0; ++end) {
        if (path[end] == u'\\' || path[end] == u'/') {
            nameStart = end + 1;
        } else if (path[end] == u'.') {
            lastDot = end;
            sawDot = true;
        }
    }
    std::size_t dot = sawDot && lastDot >= nameStart ? lastDot : end;

    const Part& driveOut = parts[0];
    const Part& dirOut = parts[1];
    const Part& nameOut = parts[2];
    const Part& extOut = parts[3];
    if (!Fits(driveOut, 0) || !Fits(dirOut, nameStart) || !Fits(nameOut, dot - nameStart) ||
        !Fits(extOut, end - dot)) {
        for (const Part& part : parts)
            Clear(part);
        return ERANGE;
    }
    Copy(driveOut, path, 0);
    Copy(dirOut, path, nameStart);
    Copy(nameOut, path + nameStart, dot - nameStart);
    Copy(extOut, path + dot, end - dot);
    return 0;
}
