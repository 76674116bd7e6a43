// The run-time string functions: _wsplitpath_s, with components as the
// Windows run-time gives them, and _snwprintf_s, cutting at the count.
#include <gtest/gtest.h>

#include <errno.h>

#include <cstdint>

#include "tests/posix/scratch.h"

namespace {

TEST(SplitPath, SplitsAtTheLastSeparatorAndTheLastDot)
{
    const std::u16string cases[][4] = {  // path, folder, name, extension
        {u"/home/u/mods/castle.tvx", u"/home/u/mods/", u"castle", u".tvx"},
        {u"C:\\mods\\castle.tvx", u"C:\\mods\\", u"castle", u".tvx"},  // no drives here
        {u"x.tar.gz", u"", u"x.tar", u".gz"},
        {u"a.b\\c", u"a.b\\", u"c", u""},  // a dot in the folder is no extension
        {u"a/b\\c.d", u"a/b\\", u"c", u".d"},
        {u"dir/.hidden", u"dir/", u"", u".hidden"},
        {u"name.", u"", u"name", u"."},
        {u"..", u"", u".", u"."},
        {u"\\", u"\\", u"", u""},
        {u"", u"", u"", u""},
        {u"\U0001F600.tvx", u"", u"\U0001F600", u".tvx"},
        {std::u16string(259, u'n') + u".tvx", u"", std::u16string(259, u'n'), u".tvx"},
    };
    for (const auto& c : cases) {
        WCHAR drive[16] = u"?", dir[260] = u"?", name[260] = u"?", ext[16] = u"?";
        EXPECT_EQ(_wsplitpath_s(c[0].c_str(), drive, 16, dir, 260, name, 260, ext, 16), 0);
        EXPECT_EQ(Show(drive) + "|" + Show(dir) + "|" + Show(name) + "|" + Show(ext),
                  "|" + Show(c[1]) + "|" + Show(c[2]) + "|" + Show(c[3]));
    }
}

TEST(SplitPath, RefusesWhatDoesNotFitAndEmptiesEveryBuffer)
{
    const std::u16string cases[] = {
        std::u16string(260, u'n') + u".tvx", std::u16string(259, u'd') + u"\\a.tvx",
        u"a.tvxtvxtvxtvxtvx"};  // extension of 17 units with the dot
    for (const std::u16string& path : cases) {
        WCHAR drive[16] = u"?", dir[260] = u"?", name[260] = u"?", ext[16] = u"?";
        EXPECT_EQ(_wsplitpath_s(path.c_str(), drive, 16, dir, 260, name, 260, ext, 16), ERANGE);
        EXPECT_EQ(drive[0] | dir[0] | name[0] | ext[0], 0) << path.size();
    }
    WCHAR dir[8] = u"?", name[8] = u"?", ext[8] = u"?";
    EXPECT_EQ(_wsplitpath_s(nullptr, nullptr, 0, dir, 8, name, 8, ext, 8), EINVAL);
    EXPECT_EQ(dir[0] | name[0] | ext[0], 0);
    EXPECT_EQ(_wsplitpath_s(u"a.b", nullptr, 4, dir, 8, name, 8, ext, 8), EINVAL);  // size, no buffer
    EXPECT_EQ(_wsplitpath_s(u"a.b", nullptr, 0, dir, 0, name, 8, ext, 8), EINVAL);  // buffer, no size
    // Components not asked for (no buffer, no size) are simply skipped.
    EXPECT_EQ(_wsplitpath_s(u"f/a.b", nullptr, 0, nullptr, 0, name, 8, nullptr, 0), 0);
    EXPECT_EQ(Show(name), "a");
}

TEST(Format, ConvertsStringsAndNumbersAndRefusesOtherConversions)
{
    WCHAR b[64];
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"%s\\%u/%u %d%%", u"a\U0001F600\xDCFF\uF05C", 7u,
                           4294967295u, -2147483647 - 1),
              31);  // units pass through untouched, surrogates and escapes included
    EXPECT_EQ(Show(b), Show(u"a\U0001F600\xDCFF\uF05C\\7/4294967295 -2147483648%"));
    EXPECT_EQ(_snwprintf_s(b, 64, 63, u"%s", static_cast<const WCHAR*>(nullptr)), 6);
    EXPECT_EQ(Show(b), "(null)");
    for (const WCHAR* refused : {u"%x", u"%5u", u"%ls", u"tail %"}) {
        b[0] = u'#';
        EXPECT_EQ(_snwprintf_s(b, 16, 15, refused, 1u), -1) << Show(refused);
        EXPECT_EQ(b[0], 0) << Show(refused);
    }
}

TEST(Format, CutsAtTheCountAndSaysSo)
{
    const struct {
        std::size_t capacity, count;
        const WCHAR* text;
        int result;
        std::string written;
    } cases[] = {
        {10, 5, u"abcde", 5, "abcde"},       // exactly the count
        {10, 5, u"abcdefgh", -1, "abcde"},   // cut at the count
        {10, 10, u"abcdefghi", 9, "abcdefghi"},  // count past the buffer, text fits
        {10, 10, u"abcdefghij", -1, ""},         // ... text does not: nothing at all
        {10, SIZE_MAX, u"abcdefghijk", -1, "abcdefghi"},  // cut wherever the buffer ends
        {10, 0, u"abc", -1, ""},
        {1, 0, u"", 0, ""},
    };
    for (const auto& c : cases) {
        WCHAR b[16];
        std::fill(b, b + 16, u'#');
        errno = 0;
        EXPECT_EQ(_snwprintf_s(b, c.capacity, c.count, u"%s", c.text), c.result) << c.written;
        EXPECT_EQ(Show(b), c.written);
        EXPECT_EQ(b[c.capacity], u'#') << "wrote past the capacity";
        if (c.count >= c.capacity && c.count != SIZE_MAX && c.result < 0) {
            EXPECT_EQ(errno, ERANGE);
        }
    }
}

}  // namespace
