// tvpack's text helpers: stream numbers, JSON strings, printable names.
#include <gtest/gtest.h>

#include "cli/json.h"
#include "cli/text.h"

namespace {

TEST(Text, OnlyCanonicalDecimalNamesAreFileNumbers)
{
    const std::pair<std::u16string, long long> cases[] = {
        {u"1", 1}, {u"9", 9}, {u"10", 10}, {u"4294967295", 4294967295LL},
        {u"0", -1}, {u"01", -1}, {u"", -1}, {u"-1", -1}, {u"+1", -1}, {u" 1", -1},
        {u"1x", -1}, {u"4294967296", -1}, {u"99999999999", -1}, {u"\uFF11", -1},
    };
    for (const auto& [name, want] : cases) {
        std::uint32_t number = 0;
        bool parsed = ParseFileNumber(name, &number);
        EXPECT_EQ(parsed, want >= 0) << name.size();
        if (parsed) {
            EXPECT_EQ(number, static_cast<std::uint32_t>(want));
        }
    }
}

TEST(Text, JsonStringsAreAsciiWithEveryOtherUnitEscaped)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"castle\\a.txt", u"\"castle\\\\a.txt\""},
        {u"say \"hi\"", u"\"say \\\"hi\\\"\""},
        {u"tab\tnl\n\x7f", u"\"tab\\u0009nl\\u000a\\u007f\""},
        {u"\u00e9\U0001F600", u"\"\\u00e9\\ud83d\\ude00\""},
        {std::u16string(1, static_cast<char16_t>(0xDC80)), u"\"\\udc80\""},
        {u"", u"\"\""},
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(JsonString(text), json);
}

TEST(Text, ControlCharactersPrintEscaped)
{
    EXPECT_EQ(Quoted(u"a\x1b[2Jb\r"), u"\"a\\x1B[2Jb\\x0D\"");
    EXPECT_EQ(Printable(u"caf\u00e9\\x"), u"caf\u00e9\\x");
}

TEST(Text, WidenDecodesUtf8AndReplacesBrokenBytes)
{
    EXPECT_EQ(Widen("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"caf\u00e9 \U0001F600");
    EXPECT_EQ(Widen("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
}

TEST(Text, NumbersPadToTheLeft)
{
    EXPECT_EQ(Decimal(0), u"0");
    EXPECT_EQ(Decimal(18446744073709551615ULL), u"18446744073709551615");
    EXPECT_EQ(PadLeft(u"42", 5), u"   42");
    EXPECT_EQ(PadLeft(u"12345", 3), u"12345");
}

}  // namespace
