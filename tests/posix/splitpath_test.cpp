// _wsplitpath_s: components as the Windows run-time gives them, and errors.
#include <gtest/gtest.h>

#include <errno.h>

#include "tests/posix/scratch.h"

namespace {

struct Split {
    std::u16string dir, name, ext;
};

TEST(SplitPath, SplitsAtTheLastSeparatorAndTheLastDot)
{
    const std::pair<std::u16string, Split> cases[] = {
        {u"/home/u/mods/castle.tvx", {u"/home/u/mods/", u"castle", u".tvx"}},
        {u"C:\\mods\\castle.tvx", {u"C:\\mods\\", u"castle", u".tvx"}},  // no drives here
        {u"castle.tvx", {u"", u"castle", u".tvx"}},
        {u"x.tar.gz", {u"", u"x.tar", u".gz"}},
        {u"a.b\\c", {u"a.b\\", u"c", u""}},  // a dot in the folder is no extension
        {u"a/b\\c.d", {u"a/b\\", u"c", u".d"}},
        {u"dir/.hidden", {u"dir/", u"", u".hidden"}},
        {u"name.", {u"", u"name", u"."}},
        {u"..", {u"", u".", u"."}},
        {u"dir\\", {u"dir\\", u"", u""}},
        {u"\\", {u"\\", u"", u""}},
        {u"", {u"", u"", u""}},
        {u"\U0001F600.tvx", {u"", u"\U0001F600", u".tvx"}},
    };
    for (const auto& [path, expected] : cases) {
        WCHAR drive[16] = u"?", dir[260] = u"?", name[260] = u"?", ext[16] = u"?";
        EXPECT_EQ(_wsplitpath_s(path.c_str(), drive, 16, dir, 260, name, 260, ext, 16), 0);
        EXPECT_EQ(std::u16string(drive), u"") << Show(path);
        EXPECT_EQ(Show(dir), Show(expected.dir)) << Show(path);
        EXPECT_EQ(Show(name), Show(expected.name)) << Show(path);
        EXPECT_EQ(Show(ext), Show(expected.ext)) << Show(path);
    }
}

TEST(SplitPath, ComponentsThatDoNotFitEmptyEveryBuffer)
{
    const std::u16string fits259 = std::u16string(259, u'n') + u".tvx";
    const std::u16string over259 = std::u16string(260, u'n') + u".tvx";
    const std::u16string longFolder = std::u16string(259, u'd') + u"\\a.tvx";
    const std::u16string longExt = u"a.tvxtvxtvxtvxtvx";  // 17 units with the dot
    const std::pair<std::u16string, errno_t> cases[] = {
        {fits259, 0}, {over259, ERANGE}, {longFolder, ERANGE}, {longExt, ERANGE}};
    for (const auto& [path, result] : cases) {
        WCHAR drive[16] = u"?", dir[260] = u"?", name[260] = u"?", ext[16] = u"?";
        EXPECT_EQ(_wsplitpath_s(path.c_str(), drive, 16, dir, 260, name, 260, ext, 16), result);
        if (result != 0) {
            EXPECT_EQ(drive[0] | dir[0] | name[0] | ext[0], 0) << path.size();
        } else {
            EXPECT_EQ(std::u16string(name).size(), 259u);
        }
    }
}

TEST(SplitPath, RefusesMissingPathAndMismatchedBuffers)
{
    WCHAR dir[8] = u"?", name[8] = u"?", ext[8] = u"?";
    EXPECT_EQ(_wsplitpath_s(nullptr, nullptr, 0, dir, 8, name, 8, ext, 8), EINVAL);
    EXPECT_EQ(dir[0] | name[0] | ext[0], 0);

    name[0] = u'?';
    EXPECT_EQ(_wsplitpath_s(u"a.b", nullptr, 4, dir, 8, name, 8, ext, 8), EINVAL);  // size, no buffer
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(_wsplitpath_s(u"a.b", nullptr, 0, dir, 0, name, 8, ext, 8), EINVAL);  // buffer, no size

    // Components not asked for (no buffer, no size) are simply skipped.
    EXPECT_EQ(_wsplitpath_s(u"f/a.b", nullptr, 0, nullptr, 0, name, 8, nullptr, 0), 0);
    EXPECT_EQ(std::u16string(name), u"a");
}

}  // namespace
