#include "packer/names.h"

bool SameText(const WCHAR* a, const WCHAR* b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

bool IsDotEntry(const WCHAR* name)
{
    return SameText(name, TEXT(".")) || SameText(name, TEXT(".."));
}
