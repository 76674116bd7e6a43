// The command line as tvpack reads it.
#include <gtest/gtest.h>

#include "cli/arguments.h"

namespace {

struct Case {
    std::vector<std::u16string> arguments;
    Command command;
    std::vector<std::u16string> operands;
    bool overwrite, skip, json, force;
};

TEST(Arguments, OptionsGoAnywhereAndDoubleDashEndsThem)
{
    const Case cases[] = {
        {{u"pack", u"a.tvx", u"b.tvx"}, Command::Pack, {u"a.tvx", u"b.tvx"}, false, false, false, false},
        {{u"--overwrite", u"pack", u"a.tvx"}, Command::Pack, {u"a.tvx"}, true, false, false, false},
        {{u"pack", u"a.tvx", u"--skip"}, Command::Pack, {u"a.tvx"}, false, true, false, false},
        {{u"pack", u"--", u"--skip", u"-"}, Command::Pack, {u"--skip", u"-"}, false, false, false, false},
        {{u"list", u"--json", u"a.tvp"}, Command::List, {u"a.tvp"}, false, false, true, false},
        {{u"extract", u"a.tvp"}, Command::Extract, {u"a.tvp"}, false, false, false, false},
        {{u"extract", u"a.tvp", u"out", u"--force"}, Command::Extract, {u"a.tvp", u"out"}, false, false, false, true},
        {{u"verify", u"\u00e9.tvp"}, Command::Verify, {u"\u00e9.tvp"}, false, false, false, false},
    };
    for (const Case& c : cases) {
        Arguments parsed;
        EXPECT_EQ(ParseArguments(c.arguments, &parsed), u"");
        EXPECT_EQ(parsed.command, c.command);
        EXPECT_EQ(parsed.operands, c.operands);
        EXPECT_EQ(parsed.overwrite, c.overwrite);
        EXPECT_EQ(parsed.skip, c.skip);
        EXPECT_EQ(parsed.json, c.json);
        EXPECT_EQ(parsed.force, c.force);
    }
}

TEST(Arguments, UsageErrorsSayWhatIsWrong)
{
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
    };
    for (const auto& [arguments, problem] : cases) {
        Arguments parsed;
        EXPECT_EQ(ParseArguments(arguments, &parsed), problem);
    }
}

TEST(Arguments, HelpAndVersionNeedNoCommand)
{
    Arguments parsed;
    EXPECT_EQ(ParseArguments({u"--help"}, &parsed), u"");
    EXPECT_TRUE(parsed.help);
    EXPECT_EQ(ParseArguments({u"list", u"--version"}, &parsed), u"");
    EXPECT_TRUE(parsed.version);
    EXPECT_EQ(ParseArguments({u"--help", u"--nonsense"}, &parsed), u"unknown option \"--nonsense\"");
}

}  // namespace
