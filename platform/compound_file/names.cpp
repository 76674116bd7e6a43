#include "platform/compound_file/names.h"

#include "platform/compound_file/format.h"

namespace cfb {

bool IsValidName(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxNameUnits) return false;
    for (char16_t unit : name) {
        if (unit == 0 || unit == u'/' || unit == u'\\' || unit == u':' || unit == u'!') return false;
    }
    return true;
}

namespace {

// In [first, last], lower-case letters sit at the odd (or even) units right
// after their upper-case partner.
char16_t PairedUpper(char16_t unit, char16_t first, char16_t last, bool lowerIsOdd) {
    if (unit < first || unit > last) return 0;
    bool odd = (unit & 1u) != 0;
    return odd == lowerIsOdd ? static_cast<char16_t>(unit - 1) : unit;
}

char16_t Shifted(char16_t unit, char16_t first, char16_t last, int delta) {
    if (unit < first || unit > last) return 0;
    return static_cast<char16_t>(unit + delta);
}

}  // namespace

char16_t UpperCaseUnit(char16_t u) {
    if (u < 0x61) return u;
    if (u <= 0x7A) return static_cast<char16_t>(u - 0x20);
    if (u < 0xB5) return u;
    if (u == 0xB5) return 0x039C;
    if (u == 0xF7) return u;
    if (u == 0xFF) return 0x0178;
    char16_t r;
    if ((r = Shifted(u, 0xE0, 0xFE, -0x20))) return r;
    // Latin Extended-A.
    if (u == 0x0131) return 0x0049;
    if (u == 0x017F) return 0x0053;
    if ((r = PairedUpper(u, 0x0100, 0x0137, true))) return r;
    if ((r = PairedUpper(u, 0x0139, 0x0148, false))) return r;
    if ((r = PairedUpper(u, 0x014A, 0x0177, true))) return r;
    if ((r = PairedUpper(u, 0x0179, 0x017E, false))) return r;
    // Greek.
    if (u == 0x03AC) return 0x0386;
    if ((r = Shifted(u, 0x03AD, 0x03AF, -0x25))) return r;
    if (u == 0x03C2) return 0x03A3;
    if ((r = Shifted(u, 0x03B1, 0x03CB, -0x20))) return r;
    if (u == 0x03CC) return 0x038C;
    if ((r = Shifted(u, 0x03CD, 0x03CE, -0x3F))) return r;
    // Cyrillic.
    if ((r = Shifted(u, 0x0430, 0x044F, -0x20))) return r;
    if ((r = Shifted(u, 0x0450, 0x045F, -0x50))) return r;
    if ((r = PairedUpper(u, 0x0460, 0x0481, true))) return r;
    if ((r = PairedUpper(u, 0x048A, 0x04BF, true))) return r;
    if (u == 0x04CF) return 0x04C0;
    if ((r = PairedUpper(u, 0x04C1, 0x04CE, false))) return r;
    if ((r = PairedUpper(u, 0x04D0, 0x052F, true))) return r;
    // Armenian.
    if ((r = Shifted(u, 0x0561, 0x0586, -0x30))) return r;
    // Latin Extended Additional.
    if ((r = PairedUpper(u, 0x1E00, 0x1E95, true))) return r;
    if ((r = PairedUpper(u, 0x1EA0, 0x1EFF, true))) return r;
    // Roman numerals, circled letters, full-width Latin.
    if ((r = Shifted(u, 0x2170, 0x217F, -0x10))) return r;
    if ((r = Shifted(u, 0x24D0, 0x24E9, -0x1A))) return r;
    if ((r = Shifted(u, 0xFF41, 0xFF5A, -0x20))) return r;
    return u;
}

int CompareNames(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;  // most units of two names are the same: no need to upper-case them
        char16_t x = UpperCaseUnit(a[i]);
        char16_t y = UpperCaseUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace cfb
