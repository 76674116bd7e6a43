// tvpack's rules where its end-to-end cases do not reach: what each usage
// error says, names only Windows refuses, and which stream names are numbers.
#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "cli/layout.h"
#include "cli/text.h"

namespace {

TEST(Tvpack, UsageErrorsSayWhatIsWrong) {
    const std::pair<std::vector<std::u16string>, std::u16string> cases[] = {
        {{}, u"no command given"},
        {{u"unpack", u"a.tvp"}, u"unknown command \"unpack\""},
        {{u"pack", u"--quiet", u"a.tvx"}, u"unknown option \"--quiet\""},
        {{u"pack"}, u"pack needs at least one mod file"},
        {{u"list"}, u"list needs one archive"},
        {{u"list", u"a", u"b"}, u"too many arguments for list"},
        {{u"extract", u"a", u"b", u"c"}, u"too many arguments for extract"},
        {{u"verify", u"--json", u"a"}, u"option --json does not apply to verify"},
        {{u"pack", u"--force", u"a.tvx"}, u"option --force does not apply to pack"},
        {{u"pack", u"--skip", u"--overwrite", u"a.tvx"}, u"--overwrite and --skip exclude each other"},
        {{u"--help", u"--nonsense"}, u"unknown option \"--nonsense\""},
    };
    for (const auto& [arguments, problem] : cases) {
        Arguments parsed;
        EXPECT_EQ(ParseArguments(arguments, &parsed), problem);
    }
}

TEST(Tvpack, NamesFollowTheRulesOfThisSystem) {
#ifdef _WIN32
    const bool windows = true;  // trailing dots and spaces dropped, ':' a stream, devices
#else
    const bool windows = false;
#endif
    const std::pair<std::u16string, bool> cases[] = {
        {u"castle\\COM1", windows}, {u"castle\\nul.txt", windows}, {u"castle\\a\x01" u"b", windows},
        {u"castle\\q?", windows},   {u"castle\\com10", false},     {u"castle\\console", false},
        {u"castle\\Nul_", false},   {u"castle\\..x", false},       {u"castle\\.x", false},
        {u"castle\\" + std::u16string(255, u'x'), false}, {u"castle\\" + std::u16string(256, u'x'), true},
    };
    for (const auto& [path, refused] : cases) {
        std::vector<std::u16string> components;
        EXPECT_EQ(SplitHeaderPath(path, &components).empty(), !refused) << std::string(path.begin(), path.end());
    }
    for (const std::u16string name : {u"4294967296", u"+1", u" 1", u"1x", u"\uFF11"}) {
        std::uint32_t number = 0;
        EXPECT_FALSE(ParseFileNumber(name, &number)) << std::string(name.begin(), name.end());
    }
}

}  // namespace
