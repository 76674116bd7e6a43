#include "platform/posix/ntfs_order.h"

bool NtfsNameLess(const std::u16string& upperA, const std::u16string& nameA,
                  const std::u16string& upperB, const std::u16string& nameB)
{
    // std::u16string compares char16_t values as unsigned code units.
    int order = upperA.compare(upperB);
    if (order != 0)
        return order < 0;
    return nameA < nameB;
}
