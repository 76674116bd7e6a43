#include "platform/posix/ntfs_order.h"

#include "platform/posix/upcase_table.h"

WCHAR NtfsUpcase(WCHAR unit)
{
    return UpcaseUnit(unit);
}

std::u16string NtfsUpcaseName(const std::u16string& name)
{
    std::u16string upper(name);
    for (char16_t& unit : upper)
        unit = UpcaseUnit(unit);
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
