// _snwprintf_s: the conversions the packer uses and cutting at the count.
#include <gtest/gtest.h>

#include <errno.h>

#include <cstdint>

#include "tests/posix/scratch.h"

namespace {

TEST(Format, ConvertsStringsAndNumbers)
{
    WCHAR b[64];
    auto text = [&] { return Show(b); };
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"%s\\*", u"mods\\castle"), 13);
    EXPECT_EQ(text(), "mods\\castle\\*");
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"Adding file %u/%u", 7u, 12u), 16);
    EXPECT_EQ(text(), "Adding file 7/12");
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"%u %u", 0u, 4294967295u), 12);
    EXPECT_EQ(text(), "0 4294967295");
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"%d %d %d", -2147483647 - 1, 0, 42), 16);
    EXPECT_EQ(text(), "-2147483648 0 42");
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"100%% %s", static_cast<const WCHAR*>(nullptr)), 11);
    EXPECT_EQ(text(), "100% (null)");
    // Units pass through untouched, surrogates and escapes included.
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"\"%s\"", u"\U0001F600\xDCFF\uF05C"), 6);
    EXPECT_EQ(text(), Show(u"\"\U0001F600\xDCFF\uF05C\""));
}

TEST(Format, CutsAtTheCountAndSaysSo)
{
    WCHAR b[16];
    auto fill = [&] { std::fill(b, b + 16, u'#'); };
    struct Case {
        std::size_t capacity, count;
        const WCHAR* text;
        int result;
        std::string written;
    };
    const Case cases[] = {
        {10, 5, u"abcde", 5, "abcde"},       // exactly the count
        {10, 5, u"abcdefgh", -1, "abcde"},   // cut at the count
        {10, 9, u"abcdefghijk", -1, "abcdefghi"},
        {10, 10, u"abcdefghi", 9, "abcdefghi"},  // count past the buffer, text fits
        {10, 10, u"abcdefghij", -1, ""},         // ... text does not: nothing at all
        {10, SIZE_MAX, u"abcdefghijk", -1, "abcdefghi"},  // cut wherever the buffer ends
        {10, 0, u"abc", -1, ""},
        {1, 0, u"", 0, ""},
    };
    for (const Case& c : cases) {
        fill();
        errno = 0;
        EXPECT_EQ(_snwprintf_s(b, c.capacity, c.count, u"%s", c.text), c.result) << c.written;
        EXPECT_EQ(Show(b), c.written);
        EXPECT_EQ(b[c.capacity], u'#') << "wrote past the capacity";
        if (c.count >= c.capacity && c.count != SIZE_MAX && c.result < 0) {
            EXPECT_EQ(errno, ERANGE);
        }
    }
}

TEST(Format, PathsLongerThanThePathLimitAreCutAt259)
{
    WCHAR b[260];
    std::u16string folder(250, u'd');
    EXPECT_EQ(_snwprintf_s(b, 260, 259, u"%s\\%s", folder.c_str(), u"0123456789"), -1);
    EXPECT_EQ(std::u16string(b), folder + u"\\01234567");
}

TEST(Format, RefusesWhatItDoesNotUnderstand)
{
    WCHAR b[16] = u"#";
    const WCHAR* refused[] = {u"%x", u"%5u", u"%ls", u"tail %"};
    for (const WCHAR* format : refused) {
        b[0] = u'#';
        EXPECT_EQ(_snwprintf_s(b, 16, 15, format, 1u), -1) << Show(format);
        EXPECT_EQ(b[0], 0) << Show(format);
    }
    EXPECT_EQ(_snwprintf_s(b, 16, 15, nullptr), -1);
    EXPECT_EQ(_snwprintf_s(nullptr, 16, 15, u"x"), -1);
    EXPECT_EQ(_snwprintf_s(b, 0, 0, u"x"), -1);
}

}  // namespace
