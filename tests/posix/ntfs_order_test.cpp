// Upper-casing and name order as an NTFS volume lists a directory.
#include <gtest/gtest.h>

#include "platform/posix/ntfs_order.h"
#include "platform/posix/upcase_table.h"
#include "tests/posix/scratch.h"

namespace {

TEST(NtfsUpcase, MapsLettersOfTheCommonScripts)
{
    const std::pair<char16_t, char16_t> cases[] = {
        {u'a', u'A'},         {u'z', u'Z'},         {u'A', u'A'},         {u'_', u'_'},
        {u'9', u'9'},         {u'\u00E9', u'\u00C9'}, {u'\u00FF', u'\u0178'}, {u'\u0101', u'\u0100'},
        {u'\u0100', u'\u0100'}, {u'\u017E', u'\u017D'}, {u'\u03B1', u'\u0391'}, {u'\u03C2', u'\u03A3'},
        {u'\u044F', u'\u042F'}, {u'\u0451', u'\u0401'}, {u'\u0561', u'\u0531'}, {u'\uFF41', u'\uFF21'},
        {u'\u00DF', u'\u00DF'},  // upper case "SS" is two units: unchanged
        {u'\u4E00', u'\u4E00'}, {u'\xD83D', u'\xD83D'}, {u'\xDE00', u'\xDE00'}, {u'\xDCE9', u'\xDCE9'},
    };
    for (const auto& [unit, upper] : cases)
        EXPECT_EQ(static_cast<unsigned>(NtfsUpcase(unit)), static_cast<unsigned>(upper))
            << std::hex << static_cast<unsigned>(unit);
}

TEST(NtfsUpcase, TableRunsAreSortedAndDisjoint)
{
    for (std::size_t i = 0; i < kUpcaseRangeCount; ++i) {
        const UpcaseRange& range = kUpcaseRanges[i];
        EXPECT_LE(range.first, range.last);
        EXPECT_TRUE(range.step == 1 || range.step == 2);
        if (i > 0) {
            EXPECT_LT(kUpcaseRanges[i - 1].last, range.first) << i;
        }
    }
}

bool Less(const std::u16string& a, const std::u16string& b)
{
    return NtfsNameLess(NtfsUpcaseName(a), a, NtfsUpcaseName(b), b);
}

TEST(NtfsNameLess, OrdersByUpperCasedUnits)
{
    // Each pair in the order NTFS lists it.
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"10", u"9"},                  // ordinal, not numeric
        {u"a", u"B"},                   // 'A' < 'B' once upper-cased
        {u"Z", u"_"},                   // '_' (0x5F) sorts after every letter
        {u"z", u"_"},
        {u"ab", u"abc"},                // a prefix first
        {u"f", u"\u00E9"},              // 'E9' upper-cases to C9 > 'F'
        {u"\u00C9", u"\u00E9"},         // same upper case: original units decide
        {u"\u4E00", u"\U0001F600"},     // 0x4E00 < high surrogate 0xD83D
        {u"\U0001F600", u"\uFF41"},     // surrogates < fullwidth 'A' (FF21)
        {u"\u0430", u"\u0411"},         // Cyrillic a < BE
        {u"\u03C9", u"\u0430"},         // Greek before Cyrillic
    };
    for (const auto& [first, second] : cases) {
        EXPECT_TRUE(Less(first, second)) << Show(first) << " before " << Show(second);
        EXPECT_FALSE(Less(second, first)) << Show(second) << " after " << Show(first);
    }
    EXPECT_FALSE(Less(u"same", u"same"));
}

}  // namespace
