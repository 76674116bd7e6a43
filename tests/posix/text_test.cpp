// UTF-16 <-> native name conversion: exact cases, then round trips over
// random names.
#include <gtest/gtest.h>

#include <random>

#include "platform/posix/text.h"
#include "tests/posix/scratch.h"

namespace {

struct Case {
    std::u16string text;
    std::string native;
};

TEST(ToNativePath, MapsSeparatorsEscapesAndCharacters)
{
    const Case cases[] = {
        {u"mods\\castle\\a.txt", "mods/castle/a.txt"},
        {u"/home/u/castle", "/home/u/castle"},
        {u"a\uF05Cb", "a\\b"},                      // backslash inside a name
        {u"caf\xDCE9", "caf\xE9"},                  // escaped byte
        {u"\xDC80\xDCFF", "\x80\xFF"},              // ends of the escape range
        {u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},  // two- and three-byte characters
        {u"\U0001F600", "\xF0\x9F\x98\x80"},        // surrogate pair
        {u"x\xD800y", "x\xED\xA0\x80y"},            // lone high surrogate, generalised UTF-8
        {u"\xDC00\xDC7F", "\xED\xB0\x80\xED\xB1\xBF"},  // low surrogates below the escapes
        {u"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToNativePath(c.text.c_str()), c.native) << Show(c.text);
    EXPECT_EQ(ToNativePath(nullptr), "");
}

TEST(FromNativeName, DecodesStrictlyAndEscapesTheRest)
{
    const Case cases[] = {
        {u"castle.tvx", "castle.tvx"},
        {u"/a/b", "/a/b"},
        {u"a\uF05Cb", "a\\b"},
        {u"\u00E9\u20AC\U0001F600", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {u"caf\xDCE9", "caf\xE9"},                                   // Latin-1 byte
        {u"\xDCC3", "\xC3"},                                         // sequence cut short
        {u"\xDCC3" u"A", "\xC3" "A"},                                // continuation missing
        {u"\xDCC0\xDCAF", "\xC0\xAF"},                               // overlong '/'
        {u"\xDCE0\xDC80\xDCAF", "\xE0\x80\xAF"},                     // overlong, three bytes
        {u"\xDCED\xDCA0\xDC80", "\xED\xA0\x80"},                     // encoded surrogate
        {u"\xDCF4\xDC90\xDC80\xDC80", "\xF4\x90\x80\x80"},           // above U+10FFFF
        {u"\xDCEF\xDC81\xDC9C", "\xEF\x81\x9C"},                     // U+F05C itself
        {u"\xDCFF\u20AC", "\xFF\xE2\x82\xAC"},                       // resynchronises
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(FromNativeName(c.native)), Show(c.text)) << c.native;
}

// Bytes biased towards the interesting ones: lead and continuation bytes,
// backslash and the encoding of U+F05C.
std::string RandomNativeName(std::mt19937& random)
{
    static const unsigned char kPool[] = {'a', 'Z', '.', '\\', 0x80, 0x9C, 0xBF, 0x81, 0xC2,
                                          0xC3, 0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5,
                                          0xFF, 0xA0, 0x90, 0x82};
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> pick(0, sizeof kPool - 1);
    std::uniform_int_distribution<int> any(1, 255);
    std::string name;
    for (int n = length(random); n > 0; --n) {
        int byte = random() % 4 == 0 ? any(random) : kPool[pick(random)];
        name += static_cast<char>(byte == '/' ? 'x' : byte);
    }
    return name;
}

TEST(NativeNames, EveryByteStringSurvivesTheRoundTrip)
{
    std::mt19937 random(20261206);
    for (int i = 0; i < 20000; ++i) {
        std::string name = RandomNativeName(random);
        std::u16string text = FromNativeName(name);
        ASSERT_EQ(ToNativePath(text.c_str()), name) << Show(text);
        for (char16_t unit : text)
            ASSERT_NE(unit, u'\\') << "a name must never produce a separator";
    }
}

TEST(NativeNames, WellFormedTextSurvivesTheRoundTrip)
{
    // Text without separators, escapes, U+F05C or lone surrogates.
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> point(0x20, 0x10FFFF);
    for (int i = 0; i < 20000; ++i) {
        std::u16string text;
        for (int n = static_cast<int>(random() % 8); n > 0; --n) {
            char32_t c = point(random);
            if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xF05C || c == u'\\' || c == u'/')
                continue;
            if (c >= 0x10000) {
                text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                text += static_cast<char16_t>(c);
            }
        }
        ASSERT_EQ(Show(FromNativeName(ToNativePath(text.c_str()))), Show(text));
    }
}

}  // namespace
