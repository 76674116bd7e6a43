// Element names: which are valid, and the order the directory keeps them in.
#pragma once

#include <cstddef>
#include <string>

namespace cfb {

// 1 to 31 UTF-16 units, none of them NUL, '/', '\\', ':' or '!'.
bool IsValidName(const std::u16string& name);

// The unit upper-cased for comparison: the simple upper-case mappings of
// Basic Latin, Latin-1, Latin Extended-A and Additional, Greek, Cyrillic,
// Armenian, Roman numerals, circled and full-width Latin letters; every
// other unit maps to itself.
char16_t UpperCaseUnit(char16_t unit);

// Negative, zero or positive as `a` sorts before, with or after `b`: shorter
// names first, then unit by unit after upper-casing ("9" < "10", "a" == "A").
int CompareNames(const std::u16string& a, const std::u16string& b);

struct NameLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        return CompareNames(a, b) < 0;
    }
};

}  // namespace cfb
