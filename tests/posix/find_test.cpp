// Directory enumeration: NTFS order and upper-casing, attributes, patterns,
// loops and failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "platform/posix/ntfs_order.h"
#include "platform/posix/text.h"
#include "tests/posix/scratch.h"

namespace {

std::string Names(const std::vector<WIN32_FIND_DATAW>& entries)
{
    std::string out;
    for (const WIN32_FIND_DATAW& entry : entries)
        out += Show(entry.cFileName) + " ";
    return out;
}

TEST(FindFirstFileExW, ListsInNtfsOrderWithDotsFirst)
{
    ScratchDir dir;
    EXPECT_EQ(Names(Enumerate(dir.Text(u"*"))), ". .. ");
    const char* created[] = {"_under", "B", "9", "10", "abc", "ab", "\xC3\xA9", "f", "!bang",
                             "\xF0\x9F\x98\x80", "\xE4\xB8\x80", "\xEF\xBD\x81", "Z",
                             "\xD0\xB0", "\xCF\x89", "\xC3\x89"};
    for (const char* name : created)
        WriteNative(dir.Native(name), "x");
    mkdir(dir.Native("-sub").c_str(), 0755);
    EXPECT_EQ(Names(Enumerate(dir.Text(u"*"))),
              Show(u". .. !bang -sub 10 9 ab abc B f Z _under \u00C9 \u00E9 \u03C9 \u0430 \u4E00 "
                   u"\U0001F600 \uFF41 "));
}

TEST(NtfsUpcase, MapsLettersOfTheCommonScripts)
{
    const char16_t cases[][2] = {
        {u'a', u'A'}, {u'A', u'A'}, {u'_', u'_'}, {u'\u00E9', u'\u00C9'}, {u'\u00FF', u'\u0178'},
        {u'\u0101', u'\u0100'}, {u'\u017E', u'\u017D'}, {u'\u03C2', u'\u03A3'},
        {u'\u0451', u'\u0401'}, {u'\uFF41', u'\uFF21'}, {u'\u00DF', u'\u00DF'},  // not "SS"
        {u'\xD83D', u'\xD83D'}, {u'\xDCE9', u'\xDCE9'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Show({NtfsUpcase(c[0])}), Show({c[1]})) << Show({c[0]});
}

TEST(FindFirstFileExW, ReportsAttributesAndSizes)
{
    ScratchDir dir;
    WriteNative(dir.Native("plain"), "12345");
    WriteNative(dir.Native(".both"), "");
    chmod(dir.Native(".both").c_str(), 0400);
    mkdir(dir.Native("folder").c_str(), 0755);
    ASSERT_EQ(symlink("folder", dir.Native("to-folder").c_str()), 0);
    ASSERT_EQ(symlink("plain", dir.Native("to-plain").c_str()), 0);
    ASSERT_EQ(symlink("missing", dir.Native("dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", dir.Native("loop").c_str()), 0);
    int fd = open(dir.Native("sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(fd, (5LL << 30) + 7), 0);  // 5 GiB + 7, without using the space
    close(fd);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.Native("sparse").c_str(), times, 0), 0);

    const struct {
        std::u16string name;
        DWORD attributes, high, low;
    } cases[] = {
        {u".", FILE_ATTRIBUTE_DIRECTORY, 0, 0},
        {u"plain", FILE_ATTRIBUTE_NORMAL, 0, 5},
        {u".both", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, 0, 0},
        {u"folder", FILE_ATTRIBUTE_DIRECTORY, 0, 0},
        {u"to-folder", FILE_ATTRIBUTE_DIRECTORY, 0, 0},
        {u"to-plain", FILE_ATTRIBUTE_NORMAL, 0, 5},
        {u"dangling", FILE_ATTRIBUTE_NORMAL, 0, 0},
        {u"loop", FILE_ATTRIBUTE_NORMAL, 0, 0},
        {u"sparse", FILE_ATTRIBUTE_NORMAL, 1, (1u << 30) + 7},
    };
    std::vector<WIN32_FIND_DATAW> entries = Enumerate(dir.Text(u"*"));
    EXPECT_EQ(entries.size(), 10u) << Names(entries);
    std::map<std::u16string, WIN32_FIND_DATAW> found;
    for (const WIN32_FIND_DATAW& entry : entries)
        found[entry.cFileName] = entry;
    for (const auto& c : cases) {
        ASSERT_EQ(found.count(c.name), 1u) << Show(c.name);
        EXPECT_EQ(found[c.name].dwFileAttributes, c.attributes) << Show(c.name);
        EXPECT_EQ(found[c.name].nFileSizeHigh, c.high) << Show(c.name);
        EXPECT_EQ(found[c.name].nFileSizeLow, c.low) << Show(c.name);
    }
    const FILETIME& written = found[u"sparse"].ftLastWriteTime;
    EXPECT_EQ((std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime,
              126444736000000000u);  // 2001-09-09 01:46:40 UTC
}

TEST(FindFirstFileExW, AcceptsThePatternsCallersUseAndRefusesTheRest)
{
    ScratchDir dir;
    WriteNative(dir.Native("one"), "");
    const std::pair<std::u16string, bool> cases[] = {
        {dir.Text(u"*"), true},         {dir.Text(u"*.*"), true},
        {dir.Text(u"\\*"), true},       {FromNativeName(dir.Native("*")), true},
        {dir.Text(u"missing\\*"), false}, {dir.Text(u"one\\*"), false},
        {dir.Text(u"o*"), false},       {dir.Text(u"one"), false},
        {u"", false},
    };
    for (const auto& [pattern, listed] : cases)
        EXPECT_EQ(Names(Enumerate(pattern)), listed ? ". .. one " : "") << Show(pattern);
}

TEST(FindNextFileW, SeesTheDirectoryAsItWasAndEndsForGood)
{
    ScratchDir dir;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(dir.Text(u"*").c_str(), FindExInfoStandard, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    WriteNative(dir.Native("late"), "");  // after the search opened
    ASSERT_TRUE(FindNextFileW(search, &entry));
    EXPECT_EQ(std::u16string(entry.cFileName), u"..");
    EXPECT_FALSE(FindNextFileW(search, &entry));
    EXPECT_FALSE(FindNextFileW(search, &entry));
    EXPECT_FALSE(CloseHandle(search));  // a search is not a file
    EXPECT_TRUE(FindClose(search));
}

// A directory reached through a link back up its own path is refused, so
// walks stop at the link; through a link that does not loop, or "..", it is listed.
TEST(FindFirstFileExW, RefusesDirectoriesReachedThroughALoop)
{
    ScratchDir dir;
    mkdir(dir.Native("mod").c_str(), 0755);
    mkdir(dir.Native("mod/sub").c_str(), 0755);
    mkdir(dir.Native("other").c_str(), 0755);
    ASSERT_EQ(symlink("..", dir.Native("mod/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../other", dir.Native("mod/side").c_str()), 0);
    const std::pair<std::u16string, bool> cases[] = {
        {u"mod\\sub\\*", true},          {u"mod\\sub\\up\\*", false},
        {u"mod\\sub\\up\\sub\\*", false}, {u"mod\\side\\*", true},
        {u"mod\\sub\\..\\sub\\*", true},
    };
    for (const auto& [pattern, listed] : cases) {
        errno = 0;
        EXPECT_EQ(Enumerate(dir.Text(pattern)).empty(), !listed) << Show(pattern);
        if (!listed) {
            EXPECT_EQ(errno, ELOOP) << Show(pattern);
        }
    }
}

}  // namespace
