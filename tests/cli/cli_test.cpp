// tvpack's rules where its end-to-end cases do not reach: what each usage
// error says, names only Windows refuses, which stream names are numbers,
// which paths a pattern matches, and when a start from Explorer waits.
#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "cli/explorer_start.h"
#include "cli/layout.h"
#include "cli/path_pattern.h"
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
        {{u"list", u"a", u"--include"}, u"option --include needs a pattern"},
        {{u"cat", u"a"}, u"cat needs an archive and at least one path"},
        {{u"diff", u"a", u"b", u"c"}, u"too many arguments for diff"},
        {{u"verify", u"--exclude=x", u"a"}, u"option --exclude does not apply to verify"},
        {{u"list", u"--hash=x", u"a"}, u"unknown option \"--hash=x\""},
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
        {u"castle\\Nul_", false},   {u"castle\\COM0", windows},  {u"castle\\lpt\u00B3.x", windows},
        {u"castle\\CONIN$", windows}, {u"castle\\conout$.txt", windows}, {u"castle\\com\u2074", false},   {u"castle\\..x", false},       {u"castle\\.x", false},
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

TEST(Tvpack, PatternsMatchAsWindowsComparesPaths) {
    const std::tuple<std::u16string, std::u16string, bool> cases[] = {
        {u"castle/textures/*.dds", u"castle\\Textures\\A.DDS", true},
        {u"castle\\*.dds", u"castle\\textures\\a.dds", false},  // "*" stays within one name
        {u"**/*.dds", u"castle\\textures\\walls\\a.dds", true},
        {u"castle/**/a.dds", u"castle\\a.dds", true},               // "**" spans no folder too
        {u"castle/**/b.dds", u"castle\\a.dds", false},
        {u"castle/sounds", u"castle\\SOUNDS\\x\\gate.wav", true},  // a folder brings what is in it
        {u"castle/sound", u"castle\\sounds\\gate.wav", false},
        {u"c?stle/?.txt", u"castle\\\U0001F600.txt", true},        // "?" takes a whole character
        {u"c?stle/?.txt", u"castle\\ab.txt", false},
        {u"castle/\u00e9*", u"castle\\\u00c9t\u00c9", true},      // case beyond ASCII
        {u"*a*b*a", u"castle\\ababab", false},
        {u"*", u"castle.tvx", true},
    };
    for (const auto& [pattern, path, matches] : cases)
        EXPECT_EQ(FileChoice({pattern}, {}).Chooses(path), matches) << std::string(pattern.begin(), pattern.end());
}

TEST(Tvpack, OnlyAConsoleOfItsOwnWaits) {
    const std::tuple<bool, bool, std::vector<std::u16string>, std::vector<bool>, StartAction> cases[] = {
        {true, true, {}, {}, StartAction::UsageThenWait},
        {true, true, {u"C:\\m\\a.tvx", u"b.TVX"}, {true, true}, StartAction::PackThenWait},
        {true, true, {u"a.tvx", u"gone.tvx"}, {true, false}, StartAction::RunThenWait},
        {true, true, {u"a.tvp"}, {true}, StartAction::RunThenWait},
        {true, true, {u"list", u"a.tvx"}, {false, true}, StartAction::RunThenWait},
        {false, true, {}, {}, StartAction::Run},            // a prompt or a script shares its console
        {false, true, {u"a.tvx"}, {true}, StartAction::Run},
        {true, false, {}, {}, StartAction::Run},            // no console to read Enter from
    };
    for (const auto& [own, input, arguments, exist, action] : cases)
        EXPECT_EQ(DecideStartAction({own, input, arguments, exist}), action) << arguments.size();
}

}  // namespace
