// The POSIX layer where only a unit test can look: names between UTF-16 and
// native bytes, and what a directory search lists, in which order.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/posix/text.h"
#include "platform/posix/win32_subset.h"

namespace {

TEST(PosixNames, ConvertBothWaysAndKeepEveryByte) {
    const struct { std::u16string text; std::string native; bool toNative, fromNative; } cases[] = {
        {u"a\uF05Cb", "a\\b", true, true},  // a backslash inside a name
        {u"caf\xDCE9\xDC80\xDCFF", "caf\xE9\x80\xFF", true, true},  // bytes that are no UTF-8, escaped
        {u"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", true, true},
        {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", true, true},
        {u"mods\\castle\\a.txt", "mods/castle/a.txt", true, false},
        {u"x\xD800y", "x\xED\xA0\x80y", true, false},  // lone surrogates: generalised UTF-8
        {u"\xDC00\xDC7F\xDBFF", "\xED\xB0\x80\xED\xB1\xBF\xED\xAF\xBF", true, false},
        {u"\xDCC3" u"A\xDCC3", "\xC3" "A\xC3", false, true},  // strict decoding: sequences cut short,
        {u"\xDCC0\xDCAF\xDCE0\xDC80\xDCAF", "\xC0\xAF\xE0\x80\xAF", false, true},  // overlong,
        {u"\xDCED\xDCA0\xDC80", "\xED\xA0\x80", false, true},  // encoded surrogates,
        {u"\xDCF4\xDC90\xDC80\xDC80", "\xF4\x90\x80\x80", false, true},  // beyond U+10FFFF,
        {u"\xDCEF\xDC81\xDC9C\xDCFF\u20AC", "\xEF\x81\x9C\xFF\xE2\x82\xAC", false, true},  // U+F05C itself
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.toNative ? ToNativePath(c.text.c_str()) : c.native, c.native) << testing::PrintToString(c.text);
        EXPECT_EQ(c.fromNative ? FromNativeName(c.native) : c.text, c.text);
    }
    // Any byte string, biased towards lead and continuation bytes, survives the round trip.
    const unsigned char pool[] = {'a', '\\', 0x80, 0x9C, 0xBF, 0x81, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xFF};
    std::mt19937 random(20261206);
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        for (int n = random() % 13; n > 0; --n) {
            const int byte = random() % 4 ? pool[random() % sizeof pool] : 1 + random() % 255;
            name += static_cast<char>(byte == '/' ? 'x' : byte);
        }
        const std::u16string text = FromNativeName(name);
        ASSERT_EQ(ToNativePath(text.c_str()), name) << testing::PrintToString(text);
        ASSERT_EQ(text.find(u'\\'), std::u16string::npos) << testing::PrintToString(text);
    }
}

// The entries a search lists for `pattern`, "/" after folders; errno set
// when it can't be opened.
std::u16string List(const std::u16string& pattern) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    std::u16string names;
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry))
        names += entry.cFileName + std::u16string(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? u"/ " : u" ");
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
}

// NTFS order: "." and ".." first, then by upper-cased UTF-16 units compared
// as numbers, ties by the names themselves. A folder reached through a link
// back up its own path is refused, so that walks end at the link.
TEST(PosixFind, ListsInNtfsOrderAndRefusesLinkLoops) {
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "tvp-posix-XXXXXX").string();
    ASSERT_NE(mkdtemp(&root[0]), nullptr);
    const fs::path dir = fs::canonical(root);
    std::u16string text = FromNativeName(dir.string());
    std::replace(text.begin(), text.end(), u'/', u'\\');
    for (const char* name : {"_under", "B", "9", "10", "abc", "ab", "\xC3\xA9", "f", "!bang", ".hidden", "\xF0\x9F\x98\x80",
                             "\xE4\xB8\x80", "\xEF\xBD\x81", "Z", "\xD0\xB0", "\xCF\x89", "\xC3\x89"})
        std::ofstream(dir / name) << "x";
    fs::create_directories(dir / "-sub" / "deeper"), fs::create_directories(dir / "other");
    fs::create_directory_symlink("..", dir / "-sub" / "deeper" / "up");
    fs::create_directory_symlink("../other", dir / "-sub" / "side");
    fs::create_symlink("missing", dir / "gone");
    EXPECT_EQ(List(text + u"\\*"), u"./ ../ !bang -sub/ .hidden 10 9 ab abc B f gone other/ Z _under \u00C9 \u00E9 "
                                     u"\u03C9 \u0430 \u4E00 \U0001F600 \uFF41 ");
    for (const auto& [pattern, listed] : {std::pair<std::u16string, bool>{u"-sub\\deeper\\*", true}, {u"-sub\\side\\*", true},
                                          {u"-sub\\deeper\\up\\*", false}, {u"-sub\\deeper\\up\\deeper\\*", false},
                                          {u"-sub\\deeper\\..\\deeper\\*", true}}) {
        errno = 0;
        EXPECT_EQ(List(text + u"\\" + pattern).empty() ? errno : 0, listed ? 0 : ELOOP) << testing::PrintToString(pattern);
    }
    fs::remove_all(dir);
}

}  // namespace
