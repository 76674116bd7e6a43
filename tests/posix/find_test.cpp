// Directory enumeration: order, attributes, names, patterns and failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/text.h"
#include "tests/posix/scratch.h"

namespace {

std::string Names(const std::vector<std::u16string>& names)
{
    std::string out;
    for (const std::u16string& name : names)
        out += Show(name) + " ";
    return out;
}

const WIN32_FIND_DATAW* Find(const std::vector<WIN32_FIND_DATAW>& entries, const std::u16string& name)
{
    for (const WIN32_FIND_DATAW& entry : entries) {
        if (name == entry.cFileName)
            return &entry;
    }
    return nullptr;
}

TEST(FindFirstFileExW, ListsInNtfsOrderWithDotsFirst)
{
    ScratchDir dir;
    // Created in an order unrelated to the expected one.
    const char* created[] = {"_under", "B", "9", "10", "a", "\xC3\xA9", "f", "!bang", "#hash",
                             "\xF0\x9F\x98\x80", "\xE4\xB8\x80", "\xEF\xBD\x81", "Z"};
    for (const char* name : created)
        WriteNative(dir.Native(name), "x");
    mkdir(dir.Native("-sub").c_str(), 0755);

    const std::vector<std::u16string> expected = {
        u".", u"..", u"!bang", u"#hash", u"-sub", u"10", u"9", u"a", u"B", u"f", u"Z", u"_under",
        u"\u00E9", u"\u4E00", u"\U0001F600", u"\uFF41"};
    EXPECT_EQ(Names(EnumerateNames(dir.Text(u"*"))), Names(expected));
}

TEST(FindFirstFileExW, EmptyDirectoryHoldsOnlyTheDots)
{
    ScratchDir dir;
    std::vector<WIN32_FIND_DATAW> entries = Enumerate(dir.Text(u"*"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::u16string(entries[0].cFileName), u".");
    EXPECT_EQ(std::u16string(entries[1].cFileName), u"..");
    for (const WIN32_FIND_DATAW& entry : entries)
        EXPECT_EQ(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FindFirstFileExW, ReportsAttributesAndSizes)
{
    ScratchDir dir;
    WriteNative(dir.Native("plain"), "12345");
    WriteNative(dir.Native(".hidden"), "");
    WriteNative(dir.Native("locked"), "abc");
    chmod(dir.Native("locked").c_str(), 0444);
    WriteNative(dir.Native(".both"), "");
    chmod(dir.Native(".both").c_str(), 0400);
    mkdir(dir.Native("folder").c_str(), 0755);
    ASSERT_EQ(symlink("folder", dir.Native("to-folder").c_str()), 0);
    ASSERT_EQ(symlink("plain", dir.Native("to-plain").c_str()), 0);
    ASSERT_EQ(symlink("missing", dir.Native("dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", dir.Native("loop").c_str()), 0);

    struct Expected {
        std::u16string name;
        DWORD attributes;
        DWORD size;
    };
    const Expected cases[] = {
        {u"plain", FILE_ATTRIBUTE_NORMAL, 5},
        {u".hidden", FILE_ATTRIBUTE_HIDDEN, 0},
        {u"locked", FILE_ATTRIBUTE_READONLY, 3},
        {u".both", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, 0},
        {u"folder", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"to-folder", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"to-plain", FILE_ATTRIBUTE_NORMAL, 5},
        {u"dangling", FILE_ATTRIBUTE_NORMAL, 0},
        {u"loop", FILE_ATTRIBUTE_NORMAL, 0},
    };
    std::vector<WIN32_FIND_DATAW> entries = Enumerate(dir.Text(u"*"));
    EXPECT_EQ(entries.size(), 2 + sizeof cases / sizeof cases[0]);
    for (const Expected& c : cases) {
        const WIN32_FIND_DATAW* entry = Find(entries, c.name);
        ASSERT_NE(entry, nullptr) << Show(c.name);
        EXPECT_EQ(entry->dwFileAttributes, c.attributes) << Show(c.name);
        EXPECT_EQ(entry->nFileSizeLow, c.size) << Show(c.name);
        EXPECT_EQ(entry->nFileSizeHigh, 0u) << Show(c.name);
    }
}

TEST(FindFirstFileExW, ReportsLargeSizesAndWriteTime)
{
    ScratchDir dir;
    std::string path = dir.Native("sparse");
    int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (5LL << 30) + 7), 0);  // 5 GiB + 7, without using the space
    close(fd);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};  // 2001-09-09 01:46:40 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    std::vector<WIN32_FIND_DATAW> entries = Enumerate(dir.Text(u"*"));
    const WIN32_FIND_DATAW* entry = Find(entries, u"sparse");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->nFileSizeHigh, 1u);
    EXPECT_EQ(entry->nFileSizeLow, (1u << 30) + 7);
    std::uint64_t ticks = (std::uint64_t{entry->ftLastWriteTime.dwHighDateTime} << 32) |
                          entry->ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(ticks, 126444736000000000u);
}

// Names no Windows volume can hold reach the caller as text that opens the
// same file again.
TEST(FindFirstFileExW, NamesRoundTripToOpenTheFile)
{
    struct Case {
        std::string native;
        std::u16string text;
    };
    const Case cases[] = {
        {"caf\xE9", u"caf\xDCE9"},                          // Latin-1, not UTF-8
        {"\xF0\x9F\x98\x80.txt", u"\U0001F600.txt"},       // outside the BMP
        {"back\\slash", u"back\uF05Cslash"},                 // backslash inside the name
    };
    ScratchDir dir;
    for (const Case& c : cases)
        WriteNative(dir.Native(c.native), c.native);
    std::vector<std::u16string> names = EnumerateNames(dir.Text(u"*"));
    for (const Case& c : cases) {
        bool listed = false;
        for (const std::u16string& name : names)
            listed = listed || name == c.text;
        EXPECT_TRUE(listed) << Show(c.text) << " in " << Names(names);

        HANDLE file = CreateFileW(dir.Text(c.text).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << Show(c.text);
        char content[64] = {};
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(file, content, sizeof content, &read, nullptr));
        EXPECT_EQ(std::string(content, read), c.native);
        CloseHandle(file);
    }
}

TEST(FindFirstFileExW, AcceptsTheFormsOfPatternCallersUse)
{
    ScratchDir dir;
    WriteNative(dir.Native("one"), "");
    const std::vector<std::u16string> expected = {u".", u"..", u"one"};
    std::string slashes = dir.Native("*");
    EXPECT_EQ(EnumerateNames(dir.Text(u"*")), expected);
    EXPECT_EQ(EnumerateNames(dir.Text(u"*.*")), expected);
    EXPECT_EQ(EnumerateNames(FromNativeName(slashes)), expected);
    EXPECT_EQ(EnumerateNames(dir.Text() + u"\\\\*"), expected);  // doubled separator

    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(dir.Native().c_str()), 0);
    std::vector<std::u16string> relative = EnumerateNames(u"*");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(relative, expected);

    std::vector<std::u16string> root = EnumerateNames(u"\\*");
    ASSERT_GE(root.size(), 3u);
    EXPECT_EQ(root[0], u".");
}

TEST(FindFirstFileExW, RefusesWhatItCannotSearchAndLeavesTheRecordAlone)
{
    ScratchDir dir;
    WriteNative(dir.Native("file"), "");
    WriteNative(dir.Native("one"), "");
    const std::u16string refused[] = {
        dir.Text(u"missing\\*"), dir.Text(u"file\\*"),  // no such directory; not a directory
        dir.Text(u"o*"),         dir.Text(u"one"),      // patterns this layer does not match
        dir.Text(u""),           u"",
    };
    for (const std::u16string& pattern : refused) {
        WIN32_FIND_DATAW entry;
        memset(&entry, 0xAB, sizeof entry);
        HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Show(pattern);
        EXPECT_EQ(entry.dwFileAttributes, 0xABABABABu) << Show(pattern);
    }
    WIN32_FIND_DATAW entry;
    EXPECT_EQ(FindFirstFileExW(nullptr, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileExW(dir.Text(u"*").c_str(), FindExInfoBasic, nullptr,
                               FindExSearchNameMatch, nullptr, 0),
              INVALID_HANDLE_VALUE);
}

TEST(FindFirstFileExW, PermissionsDecideWhatCanBeListed)
{
    ScratchDir dir;
    mkdir(dir.Native("closed").c_str(), 0755);
    WriteNative(dir.Native("closed/inside"), "");
    chmod(dir.Native("closed").c_str(), 0000);
    mkdir(dir.Native("unsearchable").c_str(), 0755);
    mkdir(dir.Native("unsearchable/sub").c_str(), 0755);
    WriteNative(dir.Native("unsearchable/file"), "");
    chmod(dir.Native("unsearchable").c_str(), 0444);  // names readable, entries not

    std::u16string closed = dir.Text(u"closed\\*");
    std::u16string unsearchable = dir.Text(u"unsearchable\\*");
    EXPECT_TRUE(RunUnprivileged([&] {
        WIN32_FIND_DATAW entry;
        return FindFirstFileExW(closed.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                nullptr, 0) == INVALID_HANDLE_VALUE;
    }));
    EXPECT_TRUE(RunUnprivileged([&] {
        std::vector<WIN32_FIND_DATAW> entries = Enumerate(unsearchable);
        const WIN32_FIND_DATAW* sub = Find(entries, u"sub");
        const WIN32_FIND_DATAW* file = Find(entries, u"file");
        return entries.size() == 4 && sub != nullptr && file != nullptr &&
               sub->dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY &&
               (file->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }));
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
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(FindNextFileW(nullptr, &entry));
}

}  // namespace

// A directory reached through a link back up its own path is refused, so
// walks stop at the link; the same directory reached through a link that
// does not loop, or through "..", is listed.
TEST(FindFirstFileExW, RefusesDirectoriesReachedThroughALoop)
{
    ScratchDir dir;
    mkdir(dir.Native("mod").c_str(), 0755);
    mkdir(dir.Native("mod/sub").c_str(), 0755);
    mkdir(dir.Native("other").c_str(), 0755);
    ASSERT_EQ(symlink("..", dir.Native("mod/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../other", dir.Native("mod/side").c_str()), 0);

    struct Case {
        std::u16string pattern;
        bool listed;
    };
    const Case cases[] = {
        {u"mod\\sub\\*", true},
        {u"mod\\sub\\up\\*", false},
        {u"mod\\sub\\up\\sub\\*", false},
        {u"mod\\side\\*", true},
        {u"mod\\sub\\..\\sub\\*", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.pattern));
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileExW(dir.Text(c.pattern).c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, 0);
        EXPECT_EQ(search != INVALID_HANDLE_VALUE, c.listed);
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        else
            EXPECT_EQ(errno, ELOOP);
    }
}
