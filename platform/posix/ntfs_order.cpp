#include "platform/posix/ntfs_order.h"

#include <algorithm>

#include "platform/posix/upcase_table.h"

WCHAR NtfsUpcase(WCHAR unit)
{
    const UpcaseRange* begin = kUpcaseRanges;
    const UpcaseRange* end = kUpcaseRanges + kUpcaseRangeCount;
    // The last run that starts at or before the unit is the only one that can hold it.
    const UpcaseRange* after = std::upper_bound(
        begin, end, unit, [](WCHAR value, const UpcaseRange& range) { return value < range.first; });
    if (after == begin)
        return unit;
    const UpcaseRange& range = *(after - 1);
    if (unit > range.last || (unit - range.first) % range.step != 0)
        return unit;
    return static_cast<WCHAR>(static_cast<std::int32_t>(unit) + range.delta);
}

std::u16string NtfsUpcaseName(const std::u16string& name)
{
    std::u16string upper(name);
    for (char16_t& unit : upper)
        unit = NtfsUpcase(unit);
    return upper;
}

bool NtfsNameLess(const std::u16string& upperA, const std::u16string& nameA,
                  const std::u16string& upperB, const std::u16string& nameB)
{
    // std::u16string compares char16_t values as unsigned code units.
    int order = upperA.compare(upperB);
    if (order != 0)
        return order < 0;
    return nameA < nameB;
}
