// The layout rules for archives, on streams built in memory.
#include <gtest/gtest.h>

#include "cli/layout.h"
#include "cli/text.h"

namespace {

ArchiveStream Stream(const std::u16string& name, const std::u16string& path)
{
    ArchiveStream stream;
    stream.name = name;
    stream.isStream = true;
    stream.size = kHeaderBytes + 3;
    stream.hasHeader = true;
    stream.path = path;
    stream.cleanPadding = true;
    return stream;
}

TEST(Layout, AcceptsAModAndOrdersItsFilesByNumber)
{
    // The reader lists names in the directory's order, which puts "10" last.
    std::vector<ArchiveStream> streams = {Stream(u"1", u"my.mod.tvx")};
    for (unsigned n = 2; n <= 10; ++n)
        streams.push_back(Stream(Decimal(n), u"my.mod\\d" + Decimal(n) + u"\\f.bin"));
    Layout layout = CheckLayout(streams);
    ASSERT_EQ(layout.problems, std::vector<std::u16string>());
    ASSERT_EQ(layout.files.size(), 10u);
    for (std::uint32_t n = 1; n <= 10; ++n)
        EXPECT_EQ(layout.files[n - 1].number, n);
    EXPECT_EQ(layout.files[9].components, (std::vector<std::u16string>{u"my.mod", u"d10", u"f.bin"}));
}

TEST(Layout, ProblemsNameTheirStreamAndLeaveNoFiles)
{
    std::vector<ArchiveStream> streams = {Stream(u"1", u"castle.tvx"), Stream(u"2", u"castle\\ok.txt"),
                                          Stream(u"3", u"castle\\..\\..\\x")};
    streams[1].hasHeader = false;
    streams[1].size = 10;
    Layout layout = CheckLayout(streams);
    EXPECT_EQ(layout.problems,
              (std::vector<std::u16string>{
                  u"stream \"2\": 10 bytes, shorter than its 1024-byte name header",
                  u"stream \"3\": path \"castle\\..\\..\\x\" has a \"..\" component"}));
    EXPECT_TRUE(layout.files.empty());
}

TEST(Layout, HeaderPathsSplitOnlyWhenSafe)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"castle\\a\\b.txt", u""},
        {u"castle\\a b\\.hidden", u""},
        {u"castle\\..x", u""},
        {u"", u"is empty"},
        {u"\\\\server\\share", u"is absolute"},
        {u"/etc/passwd", u"is absolute"},
        {u"z:castle", u"starts with a drive letter"},
        {u"castle\\\\a", u"has an empty component"},
        {u"castle\\a\\", u"has an empty component"},
        {u"castle\\.\\a", u"has a \".\" component"},
        {u"..", u"has a \"..\" component"},
        {u"castle\\a/b", u"has a slash in a name"},
    };
    for (const auto& [path, problem] : cases) {
        std::vector<std::u16string> components;
        EXPECT_EQ(SplitHeaderPath(path, &components), problem);
        EXPECT_EQ(components.empty(), !problem.empty());
    }
}

TEST(Layout, NamesFollowTheRulesOfThisSystem)
{
    // Windows drops trailing dots and spaces, reads ':' as a stream and
    // reserved names as devices; elsewhere all of these are plain names.
#ifdef _WIN32
    const bool windows = true;
#else
    const bool windows = false;
#endif
    const std::pair<std::u16string, bool> cases[] = {
        {u"castle\\a:b", windows},     {u"castle\\x.", windows},      {u"castle\\x ", windows},
        {u"castle\\con.txt", windows}, {u"castle\\COM1", windows},    {u"castle\\a\x01b", windows},
        {u"castle\\q?", windows},      {u"castle\\com10", false},     {u"castle\\console", false},
        {u"castle\\Nul_", false},      {u"castle\\.x", false},
        {u"castle\\" + std::u16string(255, u'x'), false}, {u"castle\\" + std::u16string(256, u'x'), true},
    };
    for (const auto& [path, refused] : cases) {
        std::vector<std::u16string> components;
        EXPECT_EQ(SplitHeaderPath(path, &components).empty(), !refused) << path.size();
    }
}

}  // namespace
